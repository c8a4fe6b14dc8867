#include "frmsimulator.h"

#include "appinfo.h"
#include "relaykey.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr SourceChoice::Kind kKinds[] = {SourceChoice::Kind::Automatic, SourceChoice::Kind::Fsuipc,
                                       SourceChoice::Kind::Relay, SourceChoice::Kind::FlightGear,
                                       SourceChoice::Kind::XPlane};
const char* const kCaptions[] = {"Automatic", "FSUIPC module", "Relay", "FlightGear", "X-Plane"};
const char* const kHints[] = {
    "At every \"On\", Quillon looks on this computer for the FSUIPC module, quillon-relay, FlightGear "
    "and X-Plane, and connects to the first that answers.",
    "The FSUIPC module inside the simulator, on this computer.",
    "quillon-relay beside a simulator on another computer or under Wine. On this computer Quillon finds "
    "the relay's key itself; for another computer, paste the one line of the key file the relay printed.",
    "FlightGear's property server: start FlightGear with the option --telnet=PORT.",
    "X-Plane's network interface (UDP); X-Plane answers on port 49000 unless told otherwise.",
};
const QString kKeyPlaceholder = QStringLiteral("32 letters and digits from the relay's key file");
const QString kNotAKey = QStringLiteral("A key is 32 letters (a to f) and digits.");
const QString kNoKeyPlace = QStringLiteral("There is no folder for the relay's key (HOME is not set).");

QString settingsKey()
{
    return QStringLiteral("Options/") + QLatin1String(frmSimulator::kSettingsKey);
}

} // namespace

frmSimulator::frmSimulator(const SourceChoice& current, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSimulator"));
    setWindowTitle(AppInfo::title() + QStringLiteral(" Simulator"));
    m_cboSource = new QComboBox(this);
    m_cboSource->setObjectName(QStringLiteral("cboSource"));
    for (const char* caption : kCaptions)
        m_cboSource->addItem(QString::fromLatin1(caption));
    m_txtHost = new QLineEdit(this);
    m_txtHost->setObjectName(QStringLiteral("txtHost"));
    m_spnPort = new QSpinBox(this);
    m_spnPort->setObjectName(QStringLiteral("spnPort"));
    m_spnPort->setRange(1, 65535);
    m_txtKey = new QLineEdit(this);
    m_txtKey->setObjectName(QStringLiteral("txtKey"));
    m_txtKey->setPlaceholderText(kKeyPlaceholder);
    RelayKey fileKey;
    std::string ignored;
    if (RelayKey::load(current.relayKeyPath(), fileKey, ignored))
        m_strFileKey = QString::fromStdString(fileKey.toHex());
    m_txtKey->setText(m_strFileKey);
    m_lblHint = new QLabel(this);
    m_lblHint->setObjectName(QStringLiteral("lblHint"));
    m_lblHint->setWordWrap(true);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Simulator:"), m_cboSource);
    form->addRow(QStringLiteral("&Host:"), m_txtHost);
    form->addRow(QStringLiteral("&Port:"), m_spnPort);
    form->addRow(QStringLiteral("&Key:"), m_txtKey);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_lblHint);
    layout->addWidget(m_buttons);

    const auto index = std::find(std::begin(kKinds), std::end(kKinds), current.kind) - std::begin(kKinds);
    m_cboSource->setCurrentIndex(index < std::ssize(kKinds) ? static_cast<int>(index) : 0);
    kindChanged();
    if (current.isNetwork()) {
        m_txtHost->setText(QString::fromStdString(current.host));
        m_spnPort->setValue(current.port);
    }
    connect(m_cboSource, &QComboBox::currentIndexChanged, this, &frmSimulator::kindChanged);
    connect(m_txtHost, &QLineEdit::textChanged, this, &frmSimulator::check);
    connect(m_txtKey, &QLineEdit::textChanged, this, &frmSimulator::check);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(420);
}

// A new kind starts from its own defaults.
void frmSimulator::kindChanged()
{
    const int index = m_cboSource->currentIndex();
    const SourceChoice defaults = SourceChoice::of(kKinds[index]);
    m_txtHost->setEnabled(defaults.isNetwork());
    m_spnPort->setEnabled(defaults.isNetwork());
    m_txtKey->setEnabled(defaults.kind == SourceChoice::Kind::Relay);
    m_txtHost->setText(QString::fromStdString(defaults.host));
    m_spnPort->setValue(defaults.isNetwork() ? defaults.port : 1);
    m_lblHint->setText(QString::fromLatin1(kHints[index]));
    check();
}

// An empty key leaves the key file as it is.
void frmSimulator::check()
{
    std::string error;
    RelayKey key;
    const QString typedKey = m_txtKey->text().trimmed();
    const bool keyValid = !m_txtKey->isEnabled() || typedKey.isEmpty() || RelayKey::fromHex(typedKey.toStdString(), key);
    const bool valid = (!source().isNetwork() || parseSourceChoice(source().text(), error).has_value()) && keyValid;
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(valid);
    m_lblHint->setToolTip(keyValid ? QString::fromStdString(error) : kNotAKey);
}

SourceChoice frmSimulator::source() const
{
    SourceChoice choice = SourceChoice::of(kKinds[m_cboSource->currentIndex()]);
    if (choice.isNetwork()) {
        QString host = m_txtHost->text().trimmed();
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        choice.host = host.toStdString();
        choice.port = static_cast<std::uint16_t>(m_spnPort->value());
    }
    return choice;
}

bool frmSimulator::storeKey(QString& strError) const
{
    const QString typedKey = m_txtKey->text().trimmed().toLower();
    if (source().kind != SourceChoice::Kind::Relay || typedKey.isEmpty() || typedKey == m_strFileKey)
        return true;
    const std::string path = source().relayKeyPath();
    if (path.empty()) {
        strError = kNoKeyPlace;
        return false;
    }
    RelayKey key;
    RelayKey::fromHex(typedKey.toStdString(), key); // checked as it was typed
    std::string error;
    if (!key.save(path, error)) {
        strError = QString::fromStdString(error);
        return false;
    }
    return true;
}

SourceChoice frmSimulator::storedSource()
{
    const QSettings settings(QStringLiteral("Quillon"), QStringLiteral("Quillon"));
    std::string error;
    const auto choice = parseSourceChoice(settings.value(settingsKey()).toString().toStdString(), error);
    return choice.value_or(SourceChoice::of(SourceChoice::Kind::Automatic));
}

bool frmSimulator::storeSource(const SourceChoice& choice)
{
    QSettings settings(QStringLiteral("Quillon"), QStringLiteral("Quillon"));
    settings.setValue(settingsKey(), QString::fromStdString(choice.text()));
    settings.sync();
    return settings.status() == QSettings::NoError;
}
