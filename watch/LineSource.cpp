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

std::string CLineSource::NumberedText(STextPosition from, STextPosition to) const
{
    from = Clamp(from);
    to = Clamp(to);
    if (to.column.Get() == 0 && to.line > from.line)
        to = STextPosition{LineNumber(to.line.Get() - 1), LineColumn(Line(LineNumber(to.line.Get() - 1)).size())};
    std::string text;
    for (size_t row = from.line.Get(); row <= to.line.Get() && row < LineCount(); ++row) {
        const std::string_view line = Line(LineNumber(row));
        const size_t begin = row == from.line.Get() ? std::min(from.column.Get(), line.size()) : 0;
        const size_t end = row == to.line.Get() ? std::min(to.column.Get(), line.size()) : line.size();
        text += std::to_string(row + 1);
        text += '\t';
        if (begin < end)
            text.append(line.substr(begin, end - begin));
        text += '\n';
    }
    return text;
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
