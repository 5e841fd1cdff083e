import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Window 2.15
import Korvane 1.0

// The demo's one window: the rendered image, the layer list of the root node, controls for
// the selected layer, undo, redo and save.
Window {
    id: window
    width: 1280
    height: 800
    visible: true
    title: "Korvane demo"
    color: "#202124"

    property TNode root: server.rootNode
    property var layers: []
    property TNode selected: null
    property string saveStatus: ""

    readonly property var blendModes: ["Normal", "Dissolve", "Darken", "Multiply", "Color burn", "Linear burn",
        "Darker color", "Lighten", "Screen", "Color dodge", "Linear dodge", "Lighter color", "Overlay",
        "Soft light", "Hard light", "Vivid light", "Linear light", "Pin light", "Hard mix", "Difference",
        "Exclusion", "Hue", "Saturation", "Color", "Luminosity", "Subtract", "Divide", "Inverse screen"]
    readonly property var selectionTypes: ["None", "Colour", "Luminance", "Spot"]

    // Layer classes told apart by their own parameters.
    function kindOf(node) {
        if (!node) return ""
        if (node.exposure !== undefined) return "Levels"
        if (node.radius !== undefined) return "Blur"
        if (node.angle !== undefined) return "Fill"
        if (node.source !== undefined) return "Image"
        return "Layer"
    }

    function refreshLayers() {
        layers = root ? root.childrenList : []
        if (layers.indexOf(selected) < 0)
            selected = layers.length > 0 ? layers[layers.length - 1] : null
    }

    Connections {
        target: window.root
        function onChildCountChanged() { window.refreshLayers() }
        function onSaveFinished(fileName, error) {
            window.saveStatus = error === "" ? "Saved " + fileName : error
        }
    }
    onRootChanged: refreshLayers()

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            color: "#2b2c2f"
            TImpServer {
                id: server
                objectName: "server"
                width: 1
                height: 1
            }
            EngineView {
                id: view
                objectName: "view"
                anchors.fill: parent
                anchors.margins: 12
                node: window.root
            }
            Label {
                anchors.centerIn: parent
                visible: !view.hasImage
                text: server.isReady ? "Rendering…" : "Starting the engine…"
                color: "#bbbbbb"
            }
        }

        Pane {
            Layout.preferredWidth: 340
            Layout.fillHeight: true

            ColumnLayout {
                anchors.fill: parent
                spacing: 8

                Label { text: "Layers (top first)"; font.bold: true }
                ListView {
                    id: layerList
                    Layout.fillWidth: true
                    Layout.preferredHeight: 200
                    clip: true
                    model: window.layers.slice().reverse()
                    delegate: ItemDelegate {
                        width: layerList.width
                        highlighted: modelData === window.selected
                        text: window.kindOf(modelData) + "  ·  " + window.blendModes[modelData.blendMode]
                              + "  ·  " + Math.round(modelData.opacity * 100) + " %"
                              + (modelData.selType > 0 ? "  ·  " + window.selectionTypes[modelData.selType] : "")
                        onClicked: window.selected = modelData
                    }
                }
                Flow {
                    Layout.fillWidth: true
                    spacing: 4
                    Repeater {
                        model: ["FillLayer", "LevelsLayer", "BlurLayer"]
                        Button {
                            text: "+ " + modelData.replace("Layer", "")
                            onClicked: server.createChild(modelData, window.root)
                        }
                    }
                    Button {
                        text: "Remove"
                        enabled: window.selected !== null
                        onClicked: server.deleteNode(window.selected)
                    }
                    Button {
                        text: "Up"
                        enabled: window.selected !== null && window.layers.indexOf(window.selected) < window.layers.length - 1
                        onClicked: {
                            var row = window.layers.indexOf(window.selected)
                            window.root.move(row, row + 1)
                            window.refreshLayers()
                        }
                    }
                    Button {
                        text: "Down"
                        enabled: window.selected !== null && window.layers.indexOf(window.selected) > 0
                        onClicked: {
                            var row = window.layers.indexOf(window.selected)
                            window.root.move(row, row - 1)
                            window.refreshLayers()
                        }
                    }
                }

                Label { text: "Selected layer"; font.bold: true; visible: window.selected !== null }
                GridLayout {
                    visible: window.selected !== null
                    columns: 2
                    Layout.fillWidth: true
                    Label { text: "Blend" }
                    ComboBox {
                        Layout.fillWidth: true
                        model: window.blendModes
                        currentIndex: window.selected ? window.selected.blendMode : 0
                        onActivated: window.selected.blendMode = index
                    }
                    Label { text: "Opacity" }
                    Slider {
                        Layout.fillWidth: true
                        from: 0; to: 1
                        value: window.selected ? window.selected.opacity : 1
                        onMoved: window.selected.opacity = value
                    }
                    Label { text: "Selection" }
                    ComboBox {
                        Layout.fillWidth: true
                        model: window.selectionTypes
                        currentIndex: window.selected ? window.selected.selType : 0
                        onActivated: window.selected.selType = index
                    }
                    Label { text: "Hue"; visible: window.selected && window.selected.selType === 1 }
                    Slider {
                        Layout.fillWidth: true
                        visible: window.selected && window.selected.selType === 1
                        from: 0; to: 1
                        value: window.selected ? window.selected.selValueCOLOR : 0
                        onMoved: window.selected.selValueCOLOR = value
                    }
                    Label { text: "Luminance"; visible: window.selected && window.selected.selType === 2 }
                    Slider {
                        Layout.fillWidth: true
                        visible: window.selected && window.selected.selType === 2
                        from: 0; to: 1
                        value: window.selected ? window.selected.selValueLUM : 0
                        onMoved: window.selected.selValueLUM = value
                    }
                    Label { text: "Invert" }
                    CheckBox {
                        checked: window.selected ? window.selected.selInvert : false
                        onToggled: window.selected.selInvert = checked
                    }
                    Label { text: "Exposure"; visible: window.selected && window.kindOf(window.selected) === "Levels" }
                    Slider {
                        Layout.fillWidth: true
                        visible: window.selected && window.kindOf(window.selected) === "Levels"
                        from: -2; to: 2
                        value: window.selected && window.kindOf(window.selected) === "Levels" ? window.selected.exposure : 0
                        onMoved: window.selected.exposure = value
                    }
                    Label { text: "Radius"; visible: window.selected && window.kindOf(window.selected) === "Blur" }
                    Slider {
                        Layout.fillWidth: true
                        visible: window.selected && window.kindOf(window.selected) === "Blur"
                        from: 0; to: 100
                        value: window.selected && window.kindOf(window.selected) === "Blur" ? window.selected.radius : 0
                        onMoved: window.selected.radius = value
                    }
                    Label { text: "Angle"; visible: window.selected && window.kindOf(window.selected) === "Fill" }
                    Slider {
                        Layout.fillWidth: true
                        visible: window.selected && window.kindOf(window.selected) === "Fill"
                        from: 0; to: 360
                        value: window.selected && window.kindOf(window.selected) === "Fill" ? window.selected.angle : 0
                        onMoved: window.selected.angle = value
                    }
                }

                Item { Layout.fillHeight: true }

                RowLayout {
                    Button { text: "Undo"; enabled: server.canUndo; onClicked: server.undo() }
                    Button { text: "Redo"; enabled: server.canRedo; onClicked: server.redo() }
                }
                TextField {
                    id: savePath
                    Layout.fillWidth: true
                    text: saveFolder + "/korvane-demo.jpg"
                }
                Button {
                    text: "Save"
                    onClicked: window.root.saveOutputToFile("file://" + savePath.text, {
                        "IMAGE_FORMAT": "JPEG", "JPEG_QUALITY": "High", "JPEG_FORMAT": "Optimized",
                        "COLOR_SPACE": "DEFAULT", "FILE_URL": savePath.text })
                }
                Label {
                    Layout.fillWidth: true
                    wrapMode: Text.Wrap
                    text: window.saveStatus
                    color: "#bbbbbb"
                }
            }
        }
    }
}
