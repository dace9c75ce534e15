#pragma once
// The one way the conduit shows windows: modal dialogs, message boxes and
// programs it starts. Tests replace each handler so that nothing waits for a
// person. The handlers, displayProblem, showMessage and startProgram need no
// Qt (pelorix_setup); ensureApplication and showModal live in pelorix_dialogs.

#include <functional>
#include <optional>
#include <string>

class QDialog;

namespace pelorix::setup {

// A QApplication for the dialogs; ComError when there is no display to
// show them on, saying why.
void ensureApplication();

// Why no window could be shown (no display named, or the one named cannot
// be reached); nullopt when one can, or a QApplication is already running.
std::optional<std::string> displayProblem();
inline constexpr const char* kNoDisplay = "There is no display to show the dialog on";

// Shows the dialog modally and returns its result code (QDialog::Accepted
// or Rejected) once it has closed.
int showModal(QDialog& dialog);

enum class MessageKind { Plain, Critical };
void showMessage(MessageKind kind, const std::string& text);

// Starts a program in a window of its own; false when it could not start.
bool startProgram(const std::string& path);

struct DialogHandlers {
  // Stands in for the user while the dialog is "open": it may change
  // controls and click buttons; the dialog's result is read afterwards.
  std::function<void(QDialog&)> modal;
  std::function<void(MessageKind, const std::string&)> message;
  std::function<bool(const std::string&)> start;
};
// Replaces every handler (an empty one means the real window); returns the
// previous ones.
DialogHandlers setDialogHandlers(DialogHandlers handlers);
const DialogHandlers& dialogHandlers();

}  // namespace pelorix::setup
