#pragma once
// The HotSync action dialog: what the next HotSync does with the
// conduit's applications. Its three values outlive each showing.

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace pelorix::setup {

class FConfigure : public QDialog {
 public:
  // The one shared dialog, loaded on first use.
  static FConfigure& instance();
  static void unload();

  explicit FConfigure(QWidget* owner = nullptr);

  // Loads from the action code and shows the dialog modally.
  void Show();

  std::int32_t actionCode = 0;
  std::int32_t preferenceCode = 2;
  bool cancelled = true;

  QLabel *lblProductName, *lblCopyright, *imgLogo;
  QGroupBox* frmOptions;
  QRadioButton *optSync, *optPCToHH, *optHHToPC, *optDoNothing;
  QCheckBox* chkDefault;
  QPushButton *cmdSetup, *btnOk, *btnCancel;

 private:
  void Form_Load();
  void btnOk_Click();
};

}  // namespace pelorix::setup
