#pragma once
// Thread: any. Handles of one image may be copied and destroyed on any thread; a single
//         handle must not be modified from two threads at once.
// Owns: a counted reference to a shared record; the record shares the cv::Mat pixel buffer.
// Errors: none; an empty matrix gives an empty image with uid 0.

#include <QMetaType>
#include <QSize>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <opencv2/core.hpp>

class TSMatData;

// The engine's CPU image: a cheap-to-copy handle on a cv::Mat plus the image's identity
// (uid), resolution scale, name and free-form properties. Copies share one record and the
// pixels; any setter first gives the handle a private record with its own pixel copy, so
// the pixels seen through one handle never change behind its back.
class TSMat
{
public:
    TSMat();
    // Shares the matrix's buffer (no pixel copy). A matrix with at least one row and one
    // column gets a fresh uid, an empty one uid 0.
    explicit TSMat(const cv::Mat& mat);
    TSMat(const TSMat& other);
    TSMat& operator=(const TSMat& other);
    virtual ~TSMat();

    // Read-only on purpose: new pixels mean a new TSMat, and so a new uid.
    const cv::Mat& mat() const;
    int width() const;
    int height() const;
    QSize size() const;
    int type() const;
    bool isEmpty() const;
    // Pixel memory in KB, row stride included (a region of a larger image pays for the
    // whole rows of its parent).
    int totalKB() const;

    uint uid() const;
    void setUid(uint uid);
    float scale() const;
    void setScale(float scale);
    QString name() const;
    void setName(const QString& name);
    QVariantMap properties() const;
    void setProperties(const QVariantMap& properties);
    QVariant property(const QString& key) const;
    void setProperty(const QString& key, const QVariant& value);

    // Identity, not content: same uid and same size. Pixels are never compared.
    bool operator==(const TSMat& other) const;
    bool operator!=(const TSMat& other) const;

    // Registers the "TSMat" meta type and its uid getter for TUid::hash(QVariant).
    // Safe to call any number of times, from any thread.
    static void registerMetaType();
    // Number of records alive in the process, for leak checks.
    static int liveRecords();

private:
    void detach();

    TSMatData* d;
};

Q_DECLARE_METATYPE(TSMat)
