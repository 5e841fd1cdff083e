#include "engine/tundohistory.h"

#include "engine/tcmd.h"

#include <numeric>

void TUndoHistory::Step::count()
{
    bytes = std::accumulate(commands.cbegin(), commands.cend(), qint64(0),
                            [](qint64 sum, const std::unique_ptr<TCmd>& c) { return sum + c->historyBytes(); });
}

TUndoHistory::TUndoHistory(int stepLimit, qint64 byteLimit)
    : m_stepLimit(stepLimit)
    , m_byteLimit(byteLimit)
{
}

TUndoHistory::~TUndoHistory() = default;

void TUndoHistory::push(TCmd* cmd)
{
    std::unique_ptr<TCmd> owned(cmd);
    owned->redo();
    dropRedoBranch();
    Step* target = m_openGroup.get();
    TCmd* newest = mergeCandidate();
    if (newest && newest->id() == owned->id() && newest->mergeWith(owned.get())) {
        if (!target) {
            Step& top = *m_steps.back();
            m_bytes -= top.bytes;
            top.count();
            m_bytes += top.bytes;
            trim();
        }
        return;
    }
    if (target) {
        target->commands.push_back(std::move(owned));
        return;
    }
    auto step = std::make_unique<Step>();
    step->commands.push_back(std::move(owned));
    append(std::move(step));
}

TCmd* TUndoHistory::mergeCandidate() const
{
    if (m_openGroup)
        return m_openGroup->commands.empty() ? nullptr : m_openGroup->commands.back().get();
    // Outside a group only a one-command step merges: a group stays as it was closed.
    if (m_steps.empty() || m_steps.back()->commands.size() != 1)
        return nullptr;
    return m_steps.back()->commands.back().get();
}

void TUndoHistory::append(std::unique_ptr<Step> step)
{
    step->count();
    m_bytes += step->bytes;
    m_steps.push_back(std::move(step));
    m_index = int(m_steps.size());
    trim();
}

void TUndoHistory::beginGroup()
{
    if (m_openDepth++ > 0)
        return;
    dropRedoBranch();
    m_openGroup = std::make_unique<Step>();
}

void TUndoHistory::endGroup()
{
    if (m_openDepth == 0 || --m_openDepth > 0)
        return;
    std::unique_ptr<Step> group = std::move(m_openGroup);
    if (!group->commands.empty())
        append(std::move(group));
}

void TUndoHistory::undo()
{
    if (!canUndo() || m_openGroup)
        return;
    Step& step = *m_steps[size_t(--m_index)];
    for (auto it = step.commands.rbegin(); it != step.commands.rend(); ++it)
        (*it)->undo();
}

void TUndoHistory::redo()
{
    if (!canRedo() || m_openGroup)
        return;
    Step& step = *m_steps[size_t(m_index++)];
    for (const std::unique_ptr<TCmd>& c : step.commands)
        c->redo();
}

void TUndoHistory::clear()
{
    m_steps.clear();
    m_openGroup.reset();
    m_openDepth = 0;
    m_index = 0;
    m_bytes = 0;
}

void TUndoHistory::dropRedoBranch()
{
    while (m_index < int(m_steps.size())) {
        m_bytes -= m_steps.back()->bytes;
        m_steps.pop_back();
    }
}

void TUndoHistory::trim()
{
    // The newest step always stays, however large: it is what the user just did.
    size_t drop = 0;
    while (m_steps.size() - drop > 1
           && (int(m_steps.size() - drop) > m_stepLimit || m_bytes > m_byteLimit)) {
        m_bytes -= m_steps[drop]->bytes;
        ++drop;
    }
    m_steps.erase(m_steps.begin(), m_steps.begin() + long(drop));
    m_index -= int(drop);
}
