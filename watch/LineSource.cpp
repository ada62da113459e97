#include "LineSource.h"

#include "TextCells.h"

#include <algorithm>

STextPosition CLineSource::Clamp(STextPosition position) const
{
    if (position.line.Get() >= LineCount())
        return End();
    const std::string_view line = Line(position.line);
    const size_t column = std::min(position.column.Get(), line.size());
    return {position.line, LineColumn(kel::watch::CharacterStart(line, column))};
}

void CLineSource::VisitText(STextPosition from, STextPosition to, std::string_view lineEnd,
                            const std::function<void(std::string_view)>& piece) const
{
    constexpr size_t kPieceSize = 1 << 20;
    from = Clamp(from);
    to = Clamp(to);
    std::string pending;
    for (size_t row = from.line.Get(); row <= to.line.Get(); ++row) {
        const std::string_view line = Line(LineNumber(row));
        const size_t begin = row == from.line.Get() ? from.column.Get() : 0;
        const size_t end = row == to.line.Get() ? to.column.Get() : line.size();
        if (begin < end)
            pending.append(line.substr(begin, end - begin));
        if (row != to.line.Get())
            pending.append(lineEnd);
        if (pending.size() >= kPieceSize) {
            piece(pending);
            pending.clear();
        }
    }
    if (!pending.empty())
        piece(pending);
}

std::string CLineSource::Text(STextPosition from, STextPosition to) const
{
    std::string text;
    VisitText(from, to, "\n", [&text](std::string_view piece) { text.append(piece); });
    return text;
}
