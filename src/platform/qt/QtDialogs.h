// The dialog seam on Qt: a modal QMessageBox with the prompt, the title, an
// OK button and the icon the style asks for (48: exclamation/warning, 16:
// critical, 32: question, 64: information, 0: none).
#pragma once

#include "platform/Dialogs.h"

class QWidget;

namespace velmora {

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}

    // The window the boxes are centred on; may be null.
    void setParent(QWidget* parent) { m_parent = parent; }

    void MsgBox(const std::string& prompt, int style, const std::string& title) override;
    // Question icon, Yes and No buttons, No the default.
    bool Question(const std::string& prompt, const std::string& title) override;

private:
    QWidget* m_parent;
};

}  // namespace velmora
