#pragma once

#include "settings/Settings.h"

#include <QFrame>

class QLabel;
class QLineEdit;
class QPushButton;

namespace lumora {

// The small window under "Save Current Look" that asks for a preset's name. Save (or Return
// in the field) saves the current look under the typed name and closes; Cancel, Escape or a
// click elsewhere close without saving. The typed text survives closing until the next open.
class NamingPopover : public QFrame {
    Q_OBJECT
public:
    explicit NamingPopover(Settings& settings = Settings::shared(), QWidget* parent = nullptr);

    // Empties the field and shows the popover centred under `anchor`.
    void openUnder(QWidget* anchor);

    QLineEdit* field() const { return m_field; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }
    // Says why a name could not be saved; hidden otherwise.
    QLabel* problemLabel() const { return m_problem; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void save();

    Settings& m_settings;
    QLineEdit* m_field;
    QPushButton* m_cancel;
    QPushButton* m_save;
    QLabel* m_problem;
};

} // namespace lumora
