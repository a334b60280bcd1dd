#pragma once
// While a command works on the window's own thread, what the user types and
// clicks waits in the queue and would act once the command ends. BusyInput
// shows the busy cursor for its lifetime and, when it ends, lets the waiting
// input through to nothing, so none of it is replayed.

#include <QObject>

class BusyInput : public QObject {
public:
    BusyInput();
    ~BusyInput() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool draining_ = false;
};
