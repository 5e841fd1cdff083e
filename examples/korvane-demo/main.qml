import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Window 2.15
import Korvane 1.0

// The demo's one window: the rendered image, the layer list of the root node, controls for
// the selected layer, undo, redo and save; and a levels effect over the photo whose mask is
// painted with the mouse or chosen as a selection.
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
    // The effect with a mask: shown instead of the layer tree while it is edited.
    property bool effectMode: false
    readonly property string maskId: "__GlobalBlendMask__"
    readonly property var maskTypes: ["None", "Spot", "Colour", "Luminance", "Brush"]
    property int demoStrokeShown: -1
    readonly property bool maskDemoShown: demoStrokeShown >= 0 && preview.shownImages > demoStrokeShown

    function applyBrush() {
        effect.setBrush(maskId, brushRadius.value, brushStrength.value, brushHardness.value, brushFlow.value,
                        brushColorAware.value)
    }
    // The end of a stroke: closed, recorded for undo, shown.
    function endStroke(point) {
        effect.drawPoint(maskId, point, false, true)
        effect.drawPoint(maskId, Qt.point(0, 0), false, false, {"type": "snapshot"})
        effect.maskUndoTarget = maskId
        effect.setUndoPoint()
        effect.procPreview(true)
    }
    // A stroke across the middle of the photo, for screenshots.
    function paintDemoStroke() {
        effectMode = true
        effect.maskType = 4
        applyBrush()
        effect.setUndoPoint()
        var n = 40
        for (var i = 0; i < n; ++i)
            effect.drawPoint(maskId, Qt.point(0.15 + 0.7 * i / n, 0.5), i === 0, false)
        demoStrokeShown = preview.shownImages
        endStroke(Qt.point(0.85, 0.5))
    }

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
                visible: !window.effectMode
            }
            LevelsEffect {
                id: effect
                objectName: "effect"
                previewerUid: preview.previewerUid
                maskType: LevelsEffect.BRUSH
            }
            EffectPreview {
                id: preview
                anchors.fill: view
                visible: window.effectMode
                MouseArea {
                    anchors.fill: parent
                    onPressed: {
                        effect.drawPoint(window.maskId, preview.toImage(Qt.point(mouse.x, mouse.y)), true, false)
                        effect.procPreview(false)
                    }
                    onPositionChanged: {
                        effect.drawPoint(window.maskId, preview.toImage(Qt.point(mouse.x, mouse.y)), false, false)
                        effect.procPreview(false)
                    }
                    onReleased: window.endStroke(preview.toImage(Qt.point(mouse.x, mouse.y)))
                }
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

                CheckBox {
                    text: "Levels effect with a painted mask"
                    checked: window.effectMode
                    onToggled: {
                        window.effectMode = checked
                        if (checked) {
                            window.applyBrush()
                            effect.procPreview(true)
                        }
                    }
                }
                GridLayout {
                    visible: window.effectMode
                    columns: 2
                    Layout.fillWidth: true
                    Label { text: "Exposure" }
                    Slider { Layout.fillWidth: true; from: -2; to: 2; value: effect.exposure
                             onMoved: { effect.exposure = value; effect.procPreview(false) } }
                    Label { text: "Mask" }
                    ComboBox { Layout.fillWidth: true; model: window.maskTypes; currentIndex: effect.maskType
                               onActivated: { effect.maskType = index; effect.procPreview(true) } }
                    Label { text: "Selection value" }
                    Slider { Layout.fillWidth: true; from: 0; to: 1; value: 0.2
                             onMoved: { effect.selValueCOLOR = value; effect.selValueLUM = value
                                        effect.procPreview(false) } }
                    Label { text: "Spot size" }
                    Slider { Layout.fillWidth: true; from: 0.05; to: 1; value: effect.selSize
                             onMoved: { effect.selSize = value; effect.procPreview(false) } }
                    Label { text: "Brush " + Math.round(brushRadius.value * effect.maxBrushRadius) + " px" }
                    Slider { id: brushRadius; Layout.fillWidth: true; from: 0.01; to: 0.5; value: 0.08
                             onMoved: window.applyBrush() }
                    Label { text: "Hardness" }
                    Slider { id: brushHardness; Layout.fillWidth: true; from: 0; to: 1; value: 0.5
                             onMoved: window.applyBrush() }
                    Label { text: "Strength" }
                    Slider { id: brushStrength; Layout.fillWidth: true; from: 0; to: 1; value: 1
                             onMoved: window.applyBrush() }
                    Label { text: "Flow" }
                    Slider { id: brushFlow; Layout.fillWidth: true; from: 0.01; to: 1; value: 1
                             onMoved: window.applyBrush() }
                    Label { text: "Colour aware" }
                    Slider { id: brushColorAware; Layout.fillWidth: true; from: 0; to: 1; value: 0
                             onMoved: window.applyBrush() }
                    Button { text: "Undo"; enabled: effect.canUndo
                             onClicked: { effect.undo(); effect.procPreview(true) } }
                    Button { text: "Redo"; enabled: effect.canRedo
                             onClicked: { effect.redo(); effect.procPreview(true) } }
                }

                Label { text: "Layers (top first)"; font.bold: true; visible: !window.effectMode }
                ListView {
                    id: layerList
                    visible: !window.effectMode
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
                    visible: !window.effectMode
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

                Label { text: "Selected layer"; font.bold: true; visible: window.selected !== null && !window.effectMode }
                GridLayout {
                    visible: window.selected !== null && !window.effectMode
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
