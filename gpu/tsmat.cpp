#include "gpu/tsmat.h"
#include "gpu/gpulogging.h"

#include "gpu/tuid.h"


#include <atomic>

namespace {
std::atomic<int> s_liveRecords{0};
} // namespace

// The record shared by every copy of a TSMat until one of them is modified.
class TSMatData
{
public:
    TSMatData() { s_liveRecords.fetch_add(1, std::memory_order_relaxed); }
    ~TSMatData()
    {
        if (s_liveRecords.fetch_sub(1, std::memory_order_relaxed) - 1 < 1)
            qCDebug(lcGpu, "all objects deleted");
    }
    TSMatData(const TSMatData&) = delete;
    TSMatData& operator=(const TSMatData&) = delete;

    // A private copy for a handle about to be modified: own pixel buffer, same identity.
    TSMatData* clone() const
    {
        auto* copy = new TSMatData;
        mat.copyTo(copy->mat);
        copy->uid = uid;
        copy->scale = scale;
        copy->name = name;
        copy->properties = properties;
        return copy;
    }

    std::atomic<int> ref{1};
    cv::Mat mat;
    TUid uid;
    float scale = 1.f;
    QString name;
    QVariantMap properties;
};

namespace {

void retain(TSMatData* d)
{
    d->ref.fetch_add(1, std::memory_order_relaxed);
}

// acq_rel so that the thread deleting the record sees every write made through the
// other handles before they let go of it.
void release(TSMatData* d)
{
    if (d->ref.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete d;
}

} // namespace

TSMat::TSMat()
    : d(new TSMatData)
{
    d->uid.set(0);
}

TSMat::TSMat(const cv::Mat& mat)
    : d(new TSMatData)
{
    d->mat = mat;
    if (mat.rows < 1 || mat.cols < 1)
        d->uid.set(0);
}

TSMat::TSMat(const TSMat& other)
    : d(other.d)
{
    retain(d);
}

TSMat& TSMat::operator=(const TSMat& other)
{
    if (d == other.d)
        return *this;
    retain(other.d);
    release(d);
    d = other.d;
    return *this;
}

TSMat::~TSMat()
{
    release(d);
}

void TSMat::detach()
{
    if (d->ref.load(std::memory_order_acquire) == 1)
        return;
    TSMatData* copy = d->clone();
    release(d);
    d = copy;
}

const cv::Mat& TSMat::mat() const
{
    return d->mat;
}

int TSMat::width() const
{
    return d->mat.cols;
}

int TSMat::height() const
{
    return d->mat.rows;
}

QSize TSMat::size() const
{
    return QSize(d->mat.cols, d->mat.rows);
}

int TSMat::type() const
{
    return d->mat.flags & cv::Mat::TYPE_MASK;
}

bool TSMat::isEmpty() const
{
    return d->mat.cols < 1 || d->mat.rows < 1;
}

int TSMat::totalKB() const
{
    if (isEmpty())
        return 0;
    const size_t bytes = d->mat.step[0] * size_t(d->mat.rows);
    return int(bytes >> 10);
}

uint TSMat::uid() const
{
    return d->uid.uid();
}

void TSMat::setUid(uint uid)
{
    detach();
    d->uid.set(uid);
}

float TSMat::scale() const
{
    return d->scale;
}

void TSMat::setScale(float scale)
{
    detach();
    d->scale = scale;
}

QString TSMat::name() const
{
    return d->name;
}

void TSMat::setName(const QString& name)
{
    detach();
    d->name = name;
}

QVariantMap TSMat::properties() const
{
    return d->properties;
}

void TSMat::setProperties(const QVariantMap& properties)
{
    detach();
    d->properties = properties;
}

QVariant TSMat::property(const QString& key) const
{
    return d->properties.value(key);
}

void TSMat::setProperty(const QString& key, const QVariant& value)
{
    detach();
    d->properties.insert(key, value);
}

bool TSMat::operator==(const TSMat& other) const
{
    return uid() == other.uid() && width() == other.width() && height() == other.height();
}

bool TSMat::operator!=(const TSMat& other) const
{
    return !(*this == other);
}

void TSMat::registerMetaType()
{
    // A function-local static runs its initialiser exactly once, even under concurrent calls.
    static const int typeId = [] {
        const int id = qRegisterMetaType<TSMat>("TSMat");
        TUid::registerUidGetter(id, [](const QVariant& v) { return v.value<TSMat>().uid(); });
        return id;
    }();
    Q_UNUSED(typeId);
}

int TSMat::liveRecords()
{
    return s_liveRecords.load(std::memory_order_relaxed);
}
