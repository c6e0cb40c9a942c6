// QMessageBox behind the dialog seam. Prompts come with CR LF line breaks,
// which the box shows as plain line breaks.
#include "QtDialogs.h"

#include <QMessageBox>
#include <QString>

namespace velmora {

namespace {

// The icon of a message box's style, its bits 16 to 64; the program itself
// asks for kStyleOk (no icon) and kStyleExclamation only.
constexpr int kIconBits = 0x70;
constexpr int kIconCritical = 16;
constexpr int kIconQuestion = 32;
constexpr int kIconInformation = 64;

}  // namespace

void QtDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
    QString text = QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & kIconBits) {
        case kIconCritical:
            icon = QMessageBox::Critical;
            break;
        case kIconQuestion:
            icon = QMessageBox::Question;
            break;
        case kStyleExclamation:
            icon = QMessageBox::Warning;
            break;
        case kIconInformation:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QMessageBox box(icon, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                    text, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool QtDialogs::Question(const std::string& prompt, const std::string& title) {
    QString text = QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Question,
                    QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace velmora
