#pragma once
// Thread: GUI thread.
// Owns: nothing yet beyond its busy state.
// Errors: none.

#include <QObject>

// GUI-side effect object. The server keeps the set of live effects and asks whether any
// of them is still processing a request.
class TEffect : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY isBusyChanged)
public:
    explicit TEffect(QObject* parent = nullptr);
    ~TEffect() override;

    bool isBusy() const { return m_isBusy; }

signals:
    void isBusyChanged(bool);

protected:
    void setBusy(bool busy);

private:
    bool m_isBusy = false;
};
