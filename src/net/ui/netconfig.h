#pragma once

#include "net/ftpsettings.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace lv {

// "Internet Settings": edits the FTP settings in place. "OK" stores all five
// fields (and the "require TLS" choice, in the settings store) and closes;
// "Cancel" closes without storing.
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
};

} // namespace lv
