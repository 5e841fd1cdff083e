#include "gpu/tsmatlist.h"

#include "korvanetest.h"

namespace {

TSMatList listOf(int n)
{
    TSMatList list;
    for (int i = 0; i < n; ++i)
        list.push({TSMat(cv::Mat(2, 2, CV_8UC1)), QString::number(i)});
    return list;
}

QStringList names(const TSMatList& list)
{
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.at(i).name;
    return out;
}

} // namespace

// moves: 'p' = prev(), 'n' = next()
struct NavigationRow { int entries; QString moves; int index; bool hasPrev; bool hasNext; };
Q_DECLARE_METATYPE(NavigationRow)

class TstTSMatList : public QObject
{
    Q_OBJECT

private slots:
    void navigation_data()
    {
        QTest::addColumn<NavigationRow>("row");

        QTest::newRow("empty, moves do nothing") << NavigationRow{0, "pnnp", -1, false, false};
        QTest::newRow("next on last does nothing") << NavigationRow{5, "n", 4, true, false};
        QTest::newRow("prev on first does nothing") << NavigationRow{5, "pppppp", 0, false, true};
        QTest::newRow("back and forth") << NavigationRow{5, "ppppn", 1, true, true};
    }

    void navigation()
    {
        QFETCH(NavigationRow, row);
        const auto& [entries, moves, index, hasPrev, hasNext] = row;

        TSMatList list = listOf(entries);
        for (QChar c : moves) {
            if (c == 'p')
                list.prev();
            else
                list.next();
        }
        QCOMPARE(list.count(), entries);
        QCOMPARE(list.currentIndex(), index);
        QCOMPARE(list.hasPrev(), hasPrev);
        QCOMPARE(list.hasNext(), hasNext);
    }

    void pushAfterPrevDropsTail()
    {
        TSMatList list = listOf(5);
        list.prev();
        list.prev();
        list.push({TSMat(), "new"});
        QCOMPARE(list.count(), 4);
        QCOMPARE(list.currentIndex(), 3);
        QCOMPARE(names(list), (QStringList{"0", "1", "2", "new"}));
        QVERIFY(!list.hasNext());
    }
};


KORVANE_TEST_CASE(TstTSMatList)

#include "tst_tsmatlist.moc"
