#include "BytePage.h"

#include "ByteViews.h"

using namespace kel::bench;

void CBytePage::Open(const CStringW& path)
{
    OpenPath(m_strPath, path, [&] { return _Load(); });
}

void CBytePage::ViewChanged()
{
    if (!_BufferText().IsEmpty())
        _ShowBuffer();
}

StepResult CBytePage::_LoadBuffer(bool& loaded, const BlockSink& onBlock)
{
    loaded = false;
    const StepResult result = RunStep([&] { loaded = ReadFileIntoBuffer(m_strPath, m_buffer, m_pProgress, onBlock); });
    if (result != StepResult::kDone || !loaded)
        return result;
    m_nView = kViewRawData;
    _ShowBuffer();
    return result;
}

void CBytePage::_ShowBuffer()
{
    RunShowingFailure([&] { _BufferText() = BufferToText(m_buffer, m_nView, m_pTooLong); });
}

void CBytePage::_BufferFromInput()
{
    m_buffer = CByteBuffer();
    m_typedFailure.Run([&] { m_buffer = TextToBuffer(m_strInput, m_nView); });
}
