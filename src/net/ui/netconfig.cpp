#include "net/ui/netconfig.h"

#include "net/ftpupload.h"
#include "net/seriesuploader.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lv {

NetConfig::NetConfig(FtpSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("NetConfig"));
    setWindowTitle(QStringLiteral("Internet Settings"));
    setModal(true);

    auto make = [this](const char* name, const QString& text) {
        auto* e = new QLineEdit(text, this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    m_address = make("frmFTP_Address", settings.server);
    m_port = make("frmFTP_Port", FtpSettings::portToText(settings.port));
    m_userName = make("frmFTP_Username", settings.userName);
    m_password = make("frmFTP_Password", settings.password);
    m_password->setEchoMode(QLineEdit::Password);
    // The style decides the mask character; the window asks for "*".
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    m_directory = make("frmFTP_Directory", settings.directory);

    auto* form = new QFormLayout;
    m_address->setPlaceholderText(QStringLiteral("host, or ftp://, ftps://, sftp://host[:port]/dir"));
    form->addRow(QStringLiteral("Server Address:"), m_address);
    form->addRow(QStringLiteral("Port:"), m_port);
    form->addRow(QStringLiteral("Username:"), m_userName);
    form->addRow(QStringLiteral("Password:"), m_password);
    form->addRow(QStringLiteral("Directory:"), m_directory);
    form->addRow(QString(), new QLabel(QStringLiteral("(Leave blank if you want to save in root directory)"), this));
    // Without it the password crosses the network in plain text.
    m_tls = new QCheckBox(QStringLiteral("Require an encrypted connection (FTP over TLS)"), this);
    m_tls->setObjectName(QStringLiteral("frmFTP_TLS"));
    m_tls->setChecked(FtpUpload::tlsRequired());
    form->addRow(QString(), m_tls);
    m_passive = new QCheckBox(QStringLiteral("Passive mode (passes a home router)"), this);
    m_passive->setObjectName(QStringLiteral("frmFTP_Passive"));
    m_passive->setChecked(FtpUpload::passiveMode());
    form->addRow(QString(), m_passive);
    m_caFile = make("frmFTP_CAFile", FtpUpload::tlsAuthorityFile());
    m_caFile->setPlaceholderText(QStringLiteral("the system's authorities"));
    form->addRow(QStringLiteral("TLS CA file:"), m_caFile);
    m_keyFile = make("frmFTP_KeyFile", FtpUpload::sshKeyFile());
    m_keyFile->setPlaceholderText(QStringLiteral("~/.ssh/id_ed25519, else ~/.ssh/id_rsa"));
    form->addRow(QStringLiteral("SSH key file:"), m_keyFile);
    m_spoolLimit = new QSpinBox(this);
    m_spoolLimit->setObjectName(QStringLiteral("frmFTP_SpoolMB"));
    m_spoolLimit->setRange(1, 100000);
    m_spoolLimit->setSuffix(QStringLiteral(" MB"));
    m_spoolLimit->setValue(SeriesUploader::spoolLimitMegabytes());
    m_spoolLimit->setToolTip(QStringLiteral("Pictures the server did not take wait on disk up to this size; "
                                            "past it the oldest are dropped."));
    form->addRow(QStringLiteral("Keep while away:"), m_spoolLimit);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &NetConfig::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NetConfig::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void NetConfig::accept()
{
    m_settings.server = m_address->text();
    m_settings.port = FtpSettings::portFromText(m_port->text());
    m_settings.userName = m_userName->text();
    m_settings.password = m_password->text();
    m_settings.directory = m_directory->text();
    if (m_tls->isChecked() != FtpUpload::tlsRequired())
        FtpUpload::setTlsRequired(m_tls->isChecked());
    if (m_passive->isChecked() != FtpUpload::passiveMode())
        FtpUpload::setPassiveMode(m_passive->isChecked());
    if (m_caFile->text() != FtpUpload::tlsAuthorityFile())
        FtpUpload::setTlsAuthorityFile(m_caFile->text());
    if (m_keyFile->text() != FtpUpload::sshKeyFile())
        FtpUpload::setSshKeyFile(m_keyFile->text());
    if (m_spoolLimit->value() != SeriesUploader::spoolLimitMegabytes())
        SeriesUploader::setSpoolLimitMegabytes(m_spoolLimit->value());
    QDialog::accept();
}

bool NetConfig::edit(FtpSettings& settings, QWidget* parent)
{
    NetConfig window(settings, parent);
    return window.exec() == QDialog::Accepted;
}

} // namespace lv
