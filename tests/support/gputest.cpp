#include "gputest.h"

#include "gpu/glimfilter.h"
#include "gpu/glprog.h"
#include "gpu/tsfbo.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace GpuTest {

cv::Mat randomImage(int rows, int cols, int type, unsigned seed, double lo, double hi)
{
    // Integer depths take their whole range.
    const int depth = CV_MAT_DEPTH(type);
    const bool integer = depth == CV_8U || depth == CV_16U;
    cv::Mat m(rows, cols, type);
    cv::RNG(seed).fill(m, cv::RNG::UNIFORM, cv::Scalar::all(integer ? 0 : lo),
                       cv::Scalar::all(depth == CV_8U ? 256 : depth == CV_16U ? 65536 : hi));
    return m;
}

TSFbo brightnessContrast(const TSFbo& in, float brightness, float contrast)
{
    GLImFilter bc(QStringLiteral(":/korvane/glshaders/testbc.frag"));
    bc.setUniformValue(QStringLiteral("brightness"), brightness);
    bc.setUniformValue(QStringLiteral("contrast"), contrast);
    TSFbo out(in.size(), in.internalFormat());
    if (!bc.proc(in, out))
        return TSFbo();
    out.setScale(in.scale());
    return out;
}

cv::Mat normalised(const cv::Mat& m)
{
    cv::Mat out;
    m.convertTo(out, CV_MAKETYPE(CV_64F, m.channels()),
                m.depth() == CV_8U ? 1.0 / 255.0 : m.depth() == CV_16U ? 1.0 / 65535.0 : 1.0);
    return out;
}

namespace {

void writeEvidence(const cv::Mat& m, const QString& path)
{
    cv::Mat out = m;
    if (m.channels() == 3)
        cv::cvtColor(m, out, cv::COLOR_RGB2BGR);
    else if (m.channels() == 4)
        cv::cvtColor(m, out, cv::COLOR_RGBA2BGRA);
    else if (m.channels() == 2) {
        std::vector<cv::Mat> planes;
        cv::split(m, planes);
        planes.insert(planes.begin(), cv::Mat::zeros(m.size(), m.depth()));
        cv::merge(planes, out);
    }
    // PNG keeps 8 and 16 bits; floats go to TIFF, which keeps them exactly.
    const QString file = path + (m.depth() == CV_32F ? ".tiff" : ".png");
    try {
        cv::imwrite(file.toStdString(), out);
    } catch (const cv::Exception&) {
    }
}

void saveEvidence(const cv::Mat& actual, const cv::Mat& expected, const QString& name)
{
    const QString dir = qEnvironmentVariable("KORVANE_TEST_OUTPUT");
    if (dir.isEmpty() || !QDir().mkpath(dir))
        return;
    QString safe = name;
    safe.replace(QRegularExpression("[^A-Za-z0-9_.-]"), "_");
    writeEvidence(actual, dir + "/" + safe + "_actual");
    writeEvidence(expected, dir + "/" + safe + "_expected");
}

} // namespace

bool compareImages(const cv::Mat& actual, const cv::Mat& expected, double absTol, double relTol,
                   const QString& name, QString* message)
{
    return compareImages(actual, expected, cv::Scalar::all(absTol), cv::Scalar::all(relTol), name, message);
}

bool compareImages(const cv::Mat& actual, const cv::Mat& expected, const cv::Scalar& absTol,
                   const cv::Scalar& relTol, const QString& name, QString* message)
{
    if (actual.size() != expected.size() || actual.channels() != expected.channels()) {
        *message = QStringLiteral("%1: size or channels differ: %2x%3x%4 vs %5x%6x%7")
                       .arg(name)
                       .arg(actual.cols).arg(actual.rows).arg(actual.channels())
                       .arg(expected.cols).arg(expected.rows).arg(expected.channels());
        return false;
    }
    const cv::Mat a = normalised(actual);
    const cv::Mat e = normalised(expected);
    const int cn = a.channels();
    int failures = 0;
    for (int y = 0; y < a.rows; ++y) {
        const double* pa = a.ptr<double>(y);
        const double* pe = e.ptr<double>(y);
        for (int x = 0; x < a.cols; ++x) {
            for (int c = 0; c < cn; ++c) {
                const double av = pa[x * cn + c];
                const double ev = pe[x * cn + c];
                const double tol = absTol[std::min(c, 3)] + relTol[std::min(c, 3)] * std::fabs(ev);
                if (std::fabs(av - ev) <= tol || (std::isnan(av) && std::isnan(ev)))
                    continue;
                if (failures++ == 0) {
                    *message = QStringLiteral("%1: pixel (%2, %3) channel %4: actual %5, expected %6, tolerance %7")
                                   .arg(name).arg(x).arg(y).arg(c)
                                   .arg(av, 0, 'g', 8).arg(ev, 0, 'g', 8).arg(tol, 0, 'g', 4);
                }
            }
        }
    }
    if (failures == 0)
        return true;
    *message += QStringLiteral(" (%1 elements outside)").arg(failures);
    saveEvidence(actual, expected, name);
    return false;
}

void clearTo(TSFbo& f, float r, float g, float b, float a)
{
    QOpenGLFunctions_3_3_Core* gl = GLProg::funcs();
    f.bind();
    gl->glClearColor(r, g, b, a);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    f.release();
}

QString writeShader(const QTemporaryDir& dir, const QString& name, const QByteArray& source)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(source);
    return file.fileName();
}

} // namespace GpuTest
