// Parameter maps as JSON text and back: every wrapped form, the object forms accepted on
// reading, and what happens to enums and unsupported values.

#include "korvanetest.h"

#include "engine/timproc.h"
#include "engine/tjson.h"
#include "nodes/tnode.h"

#include <QColor>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointF>
#include <QRectF>
#include <QRegularExpression>
#include <QSizeF>
#include <QUrl>


class TstTJson : public QObject
{
    Q_OBJECT
private slots:
    void roundTrips_data()
    {
        QTest::addColumn<QVariant>("written"); // a string: JSON text read as the value
        QTest::addColumn<QVariant>("readBack");
        QTest::newRow("int becomes double") << QVariant(7) << QVariant(7.0);
        QTest::newRow("float becomes double") << QVariant(0.5f) << QVariant(0.5);
        QTest::newRow("bytes become text") << QVariant(QByteArray("ab")) << QVariant(QString("ab"));
        QTest::newRow("url") << QVariant(QUrl("file:///tmp/a.png")) << QVariant(QUrl("file:///tmp/a.png"));
        QTest::newRow("size becomes sizef") << QVariant(QSize(3, 4)) << QVariant(QSizeF(3, 4));
        QTest::newRow("rect becomes rectf") << QVariant(QRect(1, 2, 3, 4)) << QVariant(QRectF(1, 2, 3, 4));
        QTest::newRow("colour") << QVariant(QColor(10, 20, 30, 40)) << QVariant(QColor(10, 20, 30, 40));
        QTest::newRow("string list becomes list") << QVariant(QStringList{"a", "b"}) << QVariant(QVariantList{"a", "b"});
        QTest::newRow("nested map") << QVariant(QVariantMap{{"p", QPointF(1, 2)}, {"n", 1}})
                                    << QVariant(QVariantMap{{"p", QPointF(1, 2)}, {"n", 1.0}});
        QTest::newRow("node enum keeps its type") << QVariant::fromValue(TNode::BLENDMODE_SCREEN)
                                                  << QVariant::fromValue(TNode::BLENDMODE_SCREEN);
        QTest::newRow("mode enum keeps its type") << QVariant::fromValue(TImproc::THUMBNAIL)
                                                  << QVariant::fromValue(TImproc::THUMBNAIL);
        // The object forms accepted on reading.
        QTest::newRow("three members is a map") << QVariant(R"({"x": 1, "y": 2, "z": 3})")
                                                << QVariant(QVariantMap{{"x", 1.0}, {"y", 2.0}, {"z", 3.0}});
        QTest::newRow("enum needs exactly one member") << QVariant(R"({"TNode::BlendMode": 2, "extra": 1})")
                                                       << QVariant(QVariantMap{{"TNode::BlendMode", 2.0}, {"extra", 1.0}});
        QTest::newRow("int form") << QVariant(R"({"int": 5})") << QVariant(5);
        QTest::newRow("string form") << QVariant(R"({"string": "s"})") << QVariant(QString("s"));
        QTest::newRow("old rect form") << QVariant(R"({"rec_x": 1, "rec_y": 2, "rec_width": 3, "rec_height": 4})")
                                       << QVariant(QRectF(1, 2, 3, 4));
        QTest::newRow("old colour form") << QVariant(R"({"colorR": 1, "colorG": 2, "colorB": 3, "colorA": 4})")
                                         << QVariant(QColor(1, 2, 3, 4));
        QTest::newRow("enum form") << QVariant(R"({"TImproc::InputType": 2})") << QVariant::fromValue(TImproc::FULLINPUT);
    }
    void roundTrips()
    {
        QFETCH(QVariant, written);
        QFETCH(QVariant, readBack);
        const QVariant got = written.userType() == QMetaType::QString
            ? TJson::stringToQMap(QStringLiteral("{\"v\": %1}").arg(written.toString())).value("v")
            : TJson::stringToQMap(TJson::qmapToString({{"v", written}})).value("v");
        QCOMPARE(got.userType(), readBack.userType());
        QCOMPARE(got, readBack);
    }

    void badInput()
    {
        QCOMPARE(TJson::stringToQMap("not json"), QVariantMap());
        QCOMPARE(TJson::stringToQMap("[1, 2]"), QVariantMap());
        QTest::ignoreMessage(QtWarningMsg, "ERROR!!! - TJson::toVariant - empty object");
        QCOMPARE(TJson::stringToQMap("{}"), QVariantMap());
        // A null member stays as an invalid value; the rest of the map is read.
        QTest::ignoreMessage(QtWarningMsg, "ERROR!!!: TJson::toVariant - should not be null");
        const QVariantMap withNull = TJson::stringToQMap(R"({"a": null, "b": 1})");
        QVERIFY(withNull.contains("a") && !withNull.value("a").isValid());
        QCOMPARE(withNull.value("b"), QVariant(1.0));

        // Written, an unsupported value becomes null and the rest of the map is kept.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unsupported type"));
        const QString text = TJson::qmapToString({{"bad", QVariant::fromValue(QRegularExpression("x"))}, {"ok", 1}});
        const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
        QVERIFY(o.value("bad").isNull());
        QCOMPARE(o.value("ok").toDouble(), 1.0);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unsupported type"));
        QCOMPARE(QJsonDocument::fromJson(TJson::qmapToString(QVariantMap()).toUtf8()).object(), QJsonObject());
    }
};

KORVANE_TEST_CASE(TstTJson)
#include "tst_tjson.moc"
