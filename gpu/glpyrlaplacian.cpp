#include "gpu/glpyrlaplacian.h"

GLPyrLaplacian::GLPyrLaplacian(const QSize& size, int internalFormat, int minSize)
    : m_levels(allocateLevels(size, internalFormat, minSize))
{
}

GLPyrLaplacian::~GLPyrLaplacian() = default;

bool GLPyrLaplacian::create(const TSFbo& in)
{
    if (in.isEmpty() || m_levels.isEmpty() || m_levels[0].isEmpty() || !GLProg::checkedFuncs("GLPyrLaplacian::create"))
        return false;
    const int n = m_levels.size();
    TSFbo cur(m_levels[0].size(), m_levels[0].internalFormat());
    TSFbo::blitFramebuffer(&cur, &in, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    for (int i = 0; i + 1 < n; ++i) {
        if (!reduce(cur, m_levels[i + 1]) || !laplacian(cur, m_levels[i + 1], m_levels[i]))
            return false;
        if (i + 2 < n) {
            // The reduction is the next step's input, and level i + 1 gets its band in place
            // of it: a fresh framebuffer for the band costs no copy of the reduction.
            cur = m_levels[i + 1];
            m_levels[i + 1] = TSFbo(cur.size(), cur.internalFormat());
        }
    }
    return true;
}

bool GLPyrLaplacian::reconstruct(TSFbo& out)
{
    const int n = m_levels.size();
    if (n < 2 || out.isEmpty())
        return false;
    for (int i = n - 2; i >= 1; --i) {
        // Written into a fresh framebuffer (allocated before any input is bound), then
        // swapped in: reading and writing one texture in a pass is undefined.
        TSFbo rebuilt(m_levels[i].size(), m_levels[i].internalFormat());
        if (!GLPyramidBase::reconstruct(m_levels[i], m_levels[i + 1], rebuilt))
            return false;
        m_levels[i] = rebuilt;
    }
    return GLPyramidBase::reconstruct(m_levels[0], m_levels[1], out);
}
