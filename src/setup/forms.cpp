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

// Loaded on demand, shown modally, unloaded once it has closed.
template <class Form>
void showOnce(std::unique_ptr<Form>& form, QWidget* owner) {
  ensureApplication();
  if (!form) form = std::make_unique<Form>(owner);
  showModal(*form);
  form.reset();
}
}  // namespace

void showSetup(QWidget* owner) { showOnce(setupForm(), owner); }

void unInstall() {
  ensureApplication();
  auto& form = setupForm();
  if (!form) form = std::make_unique<frmSetup>();
  form->UnInstall();
  form.reset();
}

void showAbout(QWidget* owner) { showOnce(aboutForm(), owner); }

void unloadSetup() { setupForm().reset(); }
void unloadAbout() { aboutForm().reset(); }

}  // namespace pelorix::setup
