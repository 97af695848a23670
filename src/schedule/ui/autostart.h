#pragma once

#include "schedule/countdown.h"
#include "settings/capturemodel.h"

#include <QTimer>
#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabBar;

namespace lv {

// The scheduled start: counts down, or waits for a date and time, and then
// emits fire() once; the owner starts the capture and closes the window.
// "Cancel" or closing stops every timer. UI thread only; the time comes from
// lv::clock().
class Autostart final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Autostart)

public:
    explicit Autostart(CaptureModel& model, QWidget* parent = nullptr);
    ~Autostart() override;

    // Keep a chosen target from lying in the past (run every second by CDTimer).
    void process_date();
    void process_time();

    // The timers' steps, callable directly (tests drive them tick by tick).
    void cdTimerTick();
    void countdownTick();
    void dateTimeTick();
    // "OK": arms the chosen tab's wait.
    void arm();
    // Tab 0 "by Countdown", 1 "by Date and Time".
    void selectTab(int index);

    QTabBar* counttag = nullptr;
    QFrame* countframe1 = nullptr; // date and time
    QFrame* countframe2 = nullptr; // countdown
    QSpinBox* chor = nullptr;
    QSpinBox* cmin = nullptr;
    QSpinBox* csec = nullptr;
    QLabel* dhor = nullptr;
    QLabel* dmin = nullptr;
    QLabel* dsec = nullptr;
    QComboBox* ano = nullptr;
    QComboBox* mes = nullptr;
    QComboBox* dia = nullptr;
    QSpinBox* bh = nullptr;
    QSpinBox* bm = nullptr;
    QSpinBox* bs = nullptr;
    QLabel* RealDate = nullptr;
    QLabel* RealTime = nullptr;
    QPushButton* start = nullptr;
    QPushButton* cancelbutton = nullptr;
    QTimer CDTimer;
    QTimer tcountdown;
    QTimer tdata;

signals:
    // The moment has come: start the capture.
    void fire();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    schedule::DateChoice dateChoice() const;
    void refreshClock();
    void showCountdown();

    CaptureModel& m_model;
    schedule::DateTimeWait m_wait;
};

} // namespace lv
