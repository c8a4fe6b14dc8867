#pragma once

#include "sourcechoice.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// Options, "Simulator...": which simulator "On" connects to, and for the
// network ones their host and port. "Automatic" (the default) looks on this
// computer at every "On". The choice is kept per user under kSettingsKey of
// the options group, written as a source ("flightgear:127.0.0.1:5401"). A
// relay's key is not a setting: the dialog shows the one in the key file on
// this computer, and a key pasted from another computer's relay replaces it.
class frmSimulator : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kSettingsKey = "Simulator";

    explicit frmSimulator(const SourceChoice& current, QWidget* parent = nullptr);

    // The source as chosen; valid only when accepted.
    SourceChoice source() const;
    // Writes a relay's key that differs from the key file's into the file;
    // false with the reason when it cannot.
    bool storeKey(QString& strError) const;

    // The stored choice; Automatic when none is stored or it is not a source.
    static SourceChoice storedSource();
    // False when the settings cannot be written.
    static bool storeSource(const SourceChoice& choice);

private:
    void kindChanged();
    void check();

    QComboBox* m_cboSource = nullptr;
    QLineEdit* m_txtHost = nullptr;
    QSpinBox* m_spnPort = nullptr;
    QLineEdit* m_txtKey = nullptr;
    QString m_strFileKey; // the key file's key, empty when there is none
    QLabel* m_lblHint = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
