#include "setup/control_lock.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QWidget>

namespace pelorix::setup {

void SetControlLocked(QWidget* control, short locked) {
  if (!control) return;
  bool box = qobject_cast<QLineEdit*>(control) || qobject_cast<QComboBox*>(control) ||
             qobject_cast<QAbstractItemView*>(control);
  if (box) {
    // A locked box takes the dialog's face colour, an open one the colour
    // of text entry, as the desktop's own palette names them.
    QPalette palette = control->palette();
    QColor colour = locked ? QApplication::palette().color(QPalette::Active, QPalette::Window)
                           : QApplication::palette().color(QPalette::Active, QPalette::Base);
    palette.setColor(QPalette::Base, colour);
    control->setPalette(palette);
  }
  control->setEnabled(!locked);
}

}  // namespace pelorix::setup
