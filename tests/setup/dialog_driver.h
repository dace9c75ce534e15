#pragma once
// Answers the conduit's dialogs in place of a person: each modal dialog
// is handed to the next scripted answer (none left, or an empty one: it is
// closed unanswered);
// messages and started programs are recorded.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "setup/dialogs.h"

namespace pelorix::test {

class DialogDriver {
 public:
  using Answer = std::function<void(QDialog&)>;

  DialogDriver() {
    setup::ensureApplication();
    previous_ = setup::setDialogHandlers({
        [this](QDialog& d) {
          shown.push_back(d.objectName().toStdString());
          if (answers.empty()) return;
          Answer next = std::move(answers.front());
          answers.pop_front();
          if (next) next(d);
        },
        [this](setup::MessageKind kind, const std::string& text) {
          messages.push_back((kind == setup::MessageKind::Critical ? "critical: " : "plain: ") + text);
        },
        [this](const std::string& path) {
          started.push_back(path);
          return true;
        },
    });
  }
  ~DialogDriver() { setup::setDialogHandlers(std::move(previous_)); }

  std::deque<Answer> answers;
  std::vector<std::string> shown, messages, started;

 private:
  setup::DialogHandlers previous_;
};

template <class W>
W* child(QObject& parent, const char* name) {
  W* found = parent.findChild<W*>(name);
  if (!found) ADD_FAILURE() << "no control " << name;
  return found;
}

inline void click(QObject& parent, const char* name) {
  if (auto* b = child<QAbstractButton>(parent, name)) b->click();
}

}  // namespace pelorix::test
