#include "gpu/glpyrgaussian.h"

GLPyrGaussian::GLPyrGaussian(const QSize& size, int internalFormat, int minSize)
    : m_levels(allocateLevels(size, internalFormat, minSize))
{
}

GLPyrGaussian::~GLPyrGaussian() = default;

bool GLPyrGaussian::create(const TSFbo& in)
{
    if (in.isEmpty() || m_levels.isEmpty() || m_levels[0].isEmpty() || !GLProg::checkedFuncs("GLPyrGaussian::create"))
        return false;
    TSFbo::blitFramebuffer(&m_levels[0], &in, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    for (int i = 1; i < m_levels.size(); ++i) {
        if (!reduce(m_levels[i - 1], m_levels[i]))
            return false;
    }
    return true;
}
