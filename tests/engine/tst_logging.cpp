// The library's lines travel under their korvane.* category: warnings always reach the
// application's message handler, debug lines only once a host turns them on.

#include "korvanetest.h"

#include "engine/timproc.h"
#include "engine/tjson.h"

#include <QLoggingCategory>

namespace {
struct Line
{
    QtMsgType type;
    QString category;
    QString text;
};
QList<Line> g_lines;

void collect(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    g_lines.append({type, QString::fromLatin1(context.category), text});
}

// The lines the library wrote while `work` ran, through a handler of the application's own.
QList<Line> linesOf(const std::function<void()>& work)
{
    g_lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    work();
    qInstallMessageHandler(previous);
    return g_lines;
}

bool hasLine(const QList<Line>& lines, QtMsgType type, const QString& category, const QString& start)
{
    return std::any_of(lines.cbegin(), lines.cend(), [&](const Line& l) {
        return l.type == type && l.category == category && l.text.startsWith(start);
    });
}
} // namespace

class TstLogging : public QObject
{
    Q_OBJECT
private slots:
    void warningsAlwaysDebugOnlyWhenTurnedOn()
    {
        const auto work = [] {
            TJson::stringToQMap(QString(QChar(0)));
            TImproc probe;
        };
        const QList<Line> byDefault = linesOf(work);
        QVERIFY(hasLine(byDefault, QtWarningMsg, "korvane.engine", "ERROR!!! TJson::stringToQMap"));
        QVERIFY(!hasLine(byDefault, QtDebugMsg, "korvane.engine", "TImproc created"));

        QLoggingCategory::setFilterRules(QStringLiteral("korvane.engine.debug=true"));
        const QList<Line> turnedOn = linesOf(work);
        QLoggingCategory::setFilterRules(QString());
        QVERIFY(hasLine(turnedOn, QtDebugMsg, "korvane.engine", "TImproc created"));
    }
};

KORVANE_TEST_CASE(TstLogging)
#include "tst_logging.moc"
