#pragma once

#include "net/ftpsettings.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace lv {

// "Internet Settings": edits the FTP settings in place. "OK" stores all five
// fields (and, in the settings store, the "require TLS" choice, passive mode,
// the FTPS CA file, the SSH key file and the upload spool's limit) and
// closes; "Cancel" closes without storing.
class NetConfig final : public QDialog {
    Q_OBJECT
public:
    explicit NetConfig(FtpSettings& settings, QWidget* parent = nullptr);

    // Opens the window modally; true when the user pressed "OK".
    static bool edit(FtpSettings& settings, QWidget* parent = nullptr);

    void accept() override;

private:
    FtpSettings& m_settings;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_userName = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_directory = nullptr;
    QCheckBox* m_tls = nullptr;
    QCheckBox* m_passive = nullptr;
    QLineEdit* m_caFile = nullptr;
    QLineEdit* m_keyFile = nullptr;
    QSpinBox* m_spoolLimit = nullptr;
};

} // namespace lv
