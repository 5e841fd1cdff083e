#pragma once
// Thread: construction and the geometry: any thread; getBlock and mergeBlock: render thread
//         with the engine context current.
// Owns: nothing but the geometry; getBlock hands a new framebuffer to the caller.
// Errors: an image or block size below 1 or an overlap below 0 gives no blocks; getBlock
//         answers an empty TSFbo and mergeBlock false for blocks outside the grid or empty images.

#include "gpu/tsfbo.h"

#include <QRect>
#include <QSize>

// Splits an image too large for one pass (or one texture) into a grid of blocks, each read
// with `overlap` pixels of its neighbours so that filters reaching that far see real pixels
// at the block edges, and writes each processed block's own part back. A block with its
// overlap is at most the largest block size given.
class GLBlockProc
{
public:
    GLBlockProc(const QSize& imageSize, int overlap, const QSize& maxBlockSize);

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    // The block's own part of the image, and that part with its overlap clamped to the image.
    QRect interior(int row, int col) const;
    QRect withOverlap(int row, int col) const;

    // The block at (row, col) with its overlap, as a new framebuffer of the input's format.
    TSFbo getBlock(const TSFbo& in, int row, int col) const;
    // Writes the block's own part (its overlap left out) into `out` at its place.
    bool mergeBlock(const TSFbo& block, int row, int col, TSFbo& out) const;

private:
    bool contains(int row, int col) const { return row >= 0 && col >= 0 && row < m_rows && col < m_cols; }

    QSize m_imageSize;
    int m_overlap = 0;
    QSize m_step;
    int m_rows = 0;
    int m_cols = 0;
};
