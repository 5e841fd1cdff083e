#include "renderarguments.h"

#include "engine/tjson.h"
#include "nodes/tnodefactory.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

namespace {
const QString kChildren = QStringLiteral("_children_");
const QString kClassName = QStringLiteral("className");

const QStringList kQualities = {"Maximum", "High", "Normal", "Medium", "Low"};
const QStringList kColorSpaces = {"DEFAULT", "sRGB IEC61966-2.1", "Adobe RGB(1998)", "ProPhoto RGB", "Apple RGB",
                                  "Wide Gamut RGB"};
const QStringList kTiffCompressions = {"DEFAULT", "NONE", "LZW", "ADOBE_DEFLATE"};

QString formatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "jpg" || suffix == "jpeg")
        return QStringLiteral("JPEG");
    if (suffix == "tif" || suffix == "tiff")
        return QStringLiteral("TIFF");
    if (suffix == "png")
        return QStringLiteral("PNG");
    return QString();
}
} // namespace

bool RenderArguments::fail(const QString& message)
{
    m_error = message;
    return false;
}

bool RenderArguments::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Renders an image through a Korvane node tree and saves the result.\n\n"
        "The preset is a JSON node tree as TNode::preset() writes it: an object with\n"
        "\"className\": \"TNodeRoot\", the root's parameters, and \"_children_\", a list of layer\n"
        "objects (\"className\" one of the registered classes, their parameters, their own\n"
        "\"_children_\"). The output format follows the output's extension: .jpg, .tif or .png.\n"
        "Errors name the file or key at fault and exit with status 1; an existing output file is\n"
        "replaced only by a complete new one.");
    parser.addHelpOption();
    parser.addPositionalArgument("input", "Image to render (JPEG, TIFF, PNG, or any file OpenImageIO reads).");
    parser.addPositionalArgument("preset", "Node tree as JSON.");
    parser.addPositionalArgument("output", "File to write.");
    const QCommandLineOption quality("quality", "JPEG quality: Maximum, High (default), Normal, Medium, Low.", "q", "High");
    const QCommandLineOption progressive("progressive", "Progressive JPEG.");
    const QCommandLineOption depth("bit-depth", "TIFF and PNG sample size: 8 or 16 (default: the input's).", "bits");
    const QCommandLineOption colorSpace("color-space",
                                        "Output profile: DEFAULT (the input's, default), \"sRGB IEC61966-2.1\", "
                                        "\"Adobe RGB(1998)\", \"ProPhoto RGB\", \"Apple RGB\", \"Wide Gamut RGB\".",
                                        "name", "DEFAULT");
    const QCommandLineOption compression("tiff-compression", "TIFF compression: DEFAULT, NONE, LZW, ADOBE_DEFLATE.",
                                         "c", "DEFAULT");
    const QCommandLineOption alpha("alpha", "TIFF and PNG: write an alpha channel even when the input has none\n"
                                            "(an input's own alpha is always kept).");
    const QCommandLineOption chart("make-chart", "Write the default test chart (16-bit PNG) to <file> and stop.", "file");
    const QCommandLineOption chartSize("chart-size", "Size of the chart, WIDTHxHEIGHT (default 3000x2000).", "size",
                                       "3000x2000");
    // Taken out of the arguments before they get here (Korvane::takeVerboseFlag); listed for --help.
    const QCommandLineOption verbose("verbose", "Print the engine's debug and info lines.");
    parser.addOptions({quality, progressive, depth, colorSpace, compression, alpha, chart, chartSize, verbose});
    m_helpText = parser.helpText()
        + "\nExamples:\n"
          "  korvane-render photo.jpg examples/presets/look.json out.jpg --quality Maximum --progressive\n"
          "  korvane-render photo.tif look.json out.tif --bit-depth 16 --tiff-compression LZW --alpha\n"
          "  korvane-render scan.png look.json out.png --bit-depth 8 --color-space \"Adobe RGB(1998)\"\n"
          "  korvane-render --make-chart chart.png --chart-size 6000x4000\n"
          "  korvane-render --verbose photo.jpg look.json out.jpg   (the engine's debug lines)\n"
          "Without a display (DISPLAY unset) it renders on the headless platform, no X server needed.\n";
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet("help")) {
        m_help = true;
        return true;
    }

    if (parser.isSet(chart)) {
        m_chartPath = parser.value(chart);
        const QStringList wh = parser.value(chartSize).split('x');
        m_chartSize = wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
        if (m_chartSize.width() < 8 || m_chartSize.height() < 8 || m_chartSize.width() > 30000
            || m_chartSize.height() > 30000)
            return fail(QStringLiteral("--chart-size: \"%1\" is not WIDTHxHEIGHT between 8 and 30000")
                            .arg(parser.value(chartSize)));
        return true;
    }

    const QStringList files = parser.positionalArguments();
    if (files.size() != 3)
        return fail(QStringLiteral("expected INPUT PRESET OUTPUT, got %1 file argument(s); see --help").arg(files.size()));
    m_input = files[0];
    m_presetPath = files[1];
    m_output = files[2];

    const QFileInfo input(m_input);
    if (!input.isFile() || !input.isReadable())
        return fail(QStringLiteral("input \"%1\": no such readable file").arg(m_input));
    if (!readPreset() || !checkOutput())
        return false;

    const QString format = formatOf(m_output);
    m_fileParams.insert("IMAGE_FORMAT", format);
    m_fileParams.insert("FILE_URL", m_output);
    const QString space = parser.value(colorSpace);
    if (!kColorSpaces.contains(space))
        return fail(QStringLiteral("--color-space: unknown value \"%1\"").arg(space));
    m_fileParams.insert("COLOR_SPACE", space);
    const QString bits = parser.value(depth);
    if (parser.isSet(depth) && bits != "8" && bits != "16")
        return fail(QStringLiteral("--bit-depth: \"%1\" is neither 8 nor 16").arg(bits));
    const QString sampleSize = parser.isSet(depth) ? bits + " bit" : QStringLiteral("DEFAULT");
    if (format == "JPEG") {
        if (!kQualities.contains(parser.value(quality)))
            return fail(QStringLiteral("--quality: unknown value \"%1\"").arg(parser.value(quality)));
        m_fileParams.insert("JPEG_QUALITY", parser.value(quality));
        m_fileParams.insert("JPEG_FORMAT", parser.isSet(progressive) ? "Progressive" : "Optimized");
    } else if (format == "TIFF") {
        if (!kTiffCompressions.contains(parser.value(compression)))
            return fail(QStringLiteral("--tiff-compression: unknown value \"%1\"").arg(parser.value(compression)));
        m_fileParams.insert("TIFF_COMPRESSION", parser.value(compression));
        m_fileParams.insert("TIFF_BITDEPTH", sampleSize);
    } else {
        m_fileParams.insert("PNG_COMPRESSION", "DEFAULT");
        m_fileParams.insert("PNG_INTERLACE", "NONE");
        m_fileParams.insert("PNG_BITDEPTH", sampleSize);
    }
    if (format != "JPEG")
        m_fileParams.insert("SAVE_ALPHA", parser.isSet(alpha) ? "TRUE" : "FALSE");
    return true;
}

bool RenderArguments::readPreset()
{
    QFile file(m_presetPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("preset \"%1\": %2").arg(m_presetPath, file.errorString()));
    m_preset = TJson::stringToQMap(QString::fromUtf8(file.readAll()));
    if (m_preset.isEmpty())
        return fail(QStringLiteral("preset \"%1\": not a JSON object").arg(m_presetPath));
    const QString root = m_preset.value(kClassName).toString();
    if (root != QLatin1String("TNodeRoot"))
        return fail(QStringLiteral("preset \"%1\": key \"className\" is \"%2\", expected \"TNodeRoot\"")
                        .arg(m_presetPath, root));
    const QStringList unknown = unknownClasses(m_preset);
    if (!unknown.isEmpty())
        return fail(QStringLiteral("preset \"%1\": unknown node class \"%2\"").arg(m_presetPath, unknown.first()));
    return true;
}

QStringList RenderArguments::unknownClasses(const QVariantMap& node)
{
    QStringList unknown;
    const QStringList known = TNodeFactory::classNames();
    for (const QVariant& entry : node.value(kChildren).toList()) {
        const QVariantMap child = entry.toMap();
        const QString name = child.value(kClassName).toString();
        if (!known.contains(name))
            unknown << name;
        unknown << unknownClasses(child);
    }
    return unknown;
}

bool RenderArguments::checkOutput()
{
    if (formatOf(m_output).isEmpty())
        return fail(QStringLiteral("output \"%1\": unsupported extension (use .jpg, .tif or .png)").arg(m_output));
    const QFileInfo output(m_output);
    const QFileInfo folder(output.absolutePath());
    if (!folder.isDir() || !folder.isWritable())
        return fail(QStringLiteral("output \"%1\": folder \"%2\" is not writable").arg(m_output, folder.filePath()));
    if (output.exists() && (!output.isFile() || !output.isWritable()))
        return fail(QStringLiteral("output \"%1\": exists and cannot be replaced").arg(m_output));
    return true;
}
