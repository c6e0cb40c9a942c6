// QMessageBox behind the dialog seam. Prompts come with CR LF line breaks,
// which the box shows as plain line breaks.
#include "QtDialogs.h"

#include <QMessageBox>
#include <QString>

namespace velmora {

void QtDialogs::MsgBox(const std::string& prompt, int style, const std::string& title) {
    QString text = QString::fromUtf8(prompt.data(), static_cast<qsizetype>(prompt.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0x70) {
        case 16:
            icon = QMessageBox::Critical;
            break;
        case 32:
            icon = QMessageBox::Question;
            break;
        case 48:
            icon = QMessageBox::Warning;
            break;
        case 64:
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
