// The dialog seam: a modal message box with a prompt, a style (kStyleOk: OK
// only; kStyleExclamation: exclamation icon and OK) and a title, and a Yes/No
// question. The Qt implementation shows a QMessageBox; batch mode prints to
// standard error; tests record.
#pragma once

#include <string>

namespace velmora {

// The message box's styles, numbered as the system numbers them.
enum MsgBoxStyle : int { kStyleOk = 0, kStyleExclamation = 48 };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void MsgBox(const std::string& prompt, int style, const std::string& title) = 0;
    // A modal Yes/No box; true for Yes.
    virtual bool Question(const std::string& prompt, const std::string& title) = 0;
};

}  // namespace velmora
