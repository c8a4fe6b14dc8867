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
// the options group, written as a source ("flightgear:127.0.0.1:5401").
class frmSimulator : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kSettingsKey = "Simulator";

    explicit frmSimulator(const SourceChoice& current, QWidget* parent = nullptr);

    // The source as chosen; valid only when accepted.
    SourceChoice source() const;

    // The stored choice; Automatic when none is stored or it is not a source.
    static SourceChoice storedSource();
    // False when the settings file cannot be written.
    static bool storeSource(const SourceChoice& choice);

private:
    void kindChanged();
    void check();

    QComboBox* m_cboSource = nullptr;
    QLineEdit* m_txtHost = nullptr;
    QSpinBox* m_spnPort = nullptr;
    QLabel* m_lblHint = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
