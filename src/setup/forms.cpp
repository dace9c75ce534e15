#include "setup/forms.h"

#include <memory>

#include "setup/dialogs.h"
#include "setup/frm_about.h"
#include "setup/frm_setup.h"

namespace pelorix::setup {

namespace {
std::unique_ptr<frmSetup>& setupForm() {
  static std::unique_ptr<frmSetup> form;
  return form;
}
std::unique_ptr<frmAbout>& aboutForm() {
  static std::unique_ptr<frmAbout> form;
  return form;
}
}  // namespace

void showSetup(QWidget* owner) {
  ensureApplication();
  auto& form = setupForm();
  if (!form) form = std::make_unique<frmSetup>(owner);
  showModal(*form);
  form.reset();
}

void unInstall() {
  ensureApplication();
  auto& form = setupForm();
  if (!form) form = std::make_unique<frmSetup>();
  form->UnInstall();
  form.reset();
}

void showAbout(QWidget* owner) {
  ensureApplication();
  auto& form = aboutForm();
  if (!form) form = std::make_unique<frmAbout>(owner);
  showModal(*form);
  form.reset();
}

void unloadSetup() { setupForm().reset(); }
void unloadAbout() { aboutForm().reset(); }

}  // namespace pelorix::setup
