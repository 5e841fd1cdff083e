#pragma once
// Waiting for an effect's answers in tests (GUI thread).

#include "effects/teffect.h"

#include <QSignalSpy>

struct Answer
{
    bool ok = false;
    QString message;
};

// Starts requests with `ask` and waits for `answers` answers of the effect; the last one.
template <typename Ask>
Answer answerTo(TEffect& effect, Ask ask, int answers = 1)
{
    QSignalSpy done(&effect, &TEffect::procDone);
    ask();
    while (done.count() < answers) {
        if (!done.wait(20000))
            return {false, QStringLiteral("no answer")};
    }
    return {done.last().at(1).toBool(), done.last().at(2).toString()};
}
