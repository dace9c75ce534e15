#pragma once
// The setup side's shared windows: loaded when first shown, unloaded when
// closed or when the component lets them go.

class QWidget;

namespace pelorix::setup {

class frmSetup;
class frmAbout;

// Loads frmSetup (owned by `owner`) and shows it modally; it is unloaded when it closes.
void showSetup(QWidget* owner = nullptr);
// Loads frmSetup without showing it, gives every application back, and unloads it.
void unInstall();
void showAbout(QWidget* owner);

// Unload whichever of them is loaded.
void unloadSetup();
void unloadAbout();

}  // namespace pelorix::setup
