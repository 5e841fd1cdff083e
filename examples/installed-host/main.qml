import QtQuick 2.15
import QtQuick.Window 2.15
import Korvane 1.0

Window {
    width: 64
    height: 64
    visible: true
    TImpServer {
        objectName: "server"
        anchors.fill: parent
    }
}
