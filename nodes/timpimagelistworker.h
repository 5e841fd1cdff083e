#pragma once
// Thread: render thread.
// Owns: the image list.
// Errors: load failures go to errorMessage (and the log) and leave an empty entry; a save of
//         an empty list fails through saveFinished without writing anything.

#include "gpu/tsmatlist.h"
#include "nodes/tnodeworker.h"

#include <QSize>
#include <QUrl>

// Render-thread twin of the image list: loads the file its URL names into the list when the
// URL changes, reports count, position and size to its twin, and saves the current image.
class TImpImageListWorker : public TNodeWorker
{
    Q_OBJECT
public:
    TImpImageListWorker(unsigned int uid, unsigned int parentUid);
    ~TImpImageListWorker() override;

    // Empty on success, else the error; `out` is the loaded image (empty on failure).
    QString loadImage(TSMat& out);
    void pushImage(const TSMat& image, const QString& name);
    // The entry at the "index" parameter, or an empty matrix.
    cv::Mat currentImage() const;
    bool saveStandalone(const QUrl& fileName, const QVariantMap& fileParams) override;

signals:
    void currentIndexChanged(int idx);
    void countChanged(int count);
    void imageSizeChanged(QSize sz);
    void saveFinished(QUrl fileName, QString error);

protected:
    // Inside a tree the list loads and takes no part in the picture.
    QString layerSource(const TSFbo& in, TSFbo& source, bool* contributes) override;
    QString doProc(TSFbo&) override { return QString(); }

private slots:
    void procUpdateReq(TImprocWorker* which_p, QString& reqTag, QString& fboId);

private:
    // Loads when the URL differs from the one loaded last.
    void loadIfChanged();

    TSMatList m_list;
    QUrl m_loadedUrl;
    bool m_loaded = false;
};
