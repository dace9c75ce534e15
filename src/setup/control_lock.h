#pragma once
// Locks or unlocks a control the way the setup dialog shows it: a locked
// text, combo or list box is greyed as well as disabled.

class QWidget;

namespace pelorix::setup {

void SetControlLocked(QWidget* control, short locked);

}  // namespace pelorix::setup
