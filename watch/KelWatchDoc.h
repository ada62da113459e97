#pragma once

// CKelWatchDoc: one followed log file. The document remembers the path, the
// read position (first byte not shown yet) and the encoding, detected or
// chosen by the user; ReadCycle keeps the file open between cycles, detects
// its encoding once (unless one was chosen), follows the path to a new file
// when the log is rotated (as `tail -F`), and hands over the lines added since
// the last cycle, either to a line sink (the view's line store) or as one text
// with each line ending in "\r\n". Nothing here needs a display; the view
// calls ReadCycle from its 100 ms timer.
//
// Not thread safe: every call runs on the thread that owns the views. The
// views of one document share it, so each new line goes to exactly one view.
// Only the encoding detection of a big file runs on a thread of its own.
#include "KelFile.h"
#include "LineReader.h"
#include "WatchLineSink.h"
#include "platform/FileHandle.h"
#include "platform/StringW.h"
#include "platform/Types.h"

#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CKelWatchDoc {
public:
    // Bytes of complete lines one cycle takes before it yields, so that a huge
    // file streams into the view without freezing the window.
    static constexpr ULONGLONG kDefaultCycleBudget = 4ull << 20;
    // Detection reads at most this much of the file from where it starts:
    // enough to tell the encodings apart, and a big log is not read twice
    // nor held whole in memory while it opens. 7-bit text decides nothing,
    // so a start that is all 7-bit leaves the encoding open and the bytes
    // that decide it are detected when the cycles reach them.
    static constexpr ULONGLONG kDefaultDetectionLimit = 16ull << 20;
    // A file up to this size is detected within the cycle; a bigger one on a
    // worker thread, the cycles showing nothing until it is done.
    static constexpr ULONGLONG kInlineDetectionSize = 8ull << 20;

    // The line put into the view where the followed file starts again, or
    // where it was deleted (its text stays shown).
    static constexpr std::wstring_view kTruncatedMarker = L"---- 파일이 줄어들었습니다. 처음부터 다시 읽습니다. ----";
    static constexpr std::wstring_view kReplacedMarker = L"---- 새 파일로 바뀌었습니다. 처음부터 읽습니다. ----";
    static constexpr std::wstring_view kDeletedMarker = L"---- 파일이 삭제되었습니다. ----";
    static constexpr std::wstring_view kRecreatedMarker = L"---- 파일이 다시 만들어졌습니다. 처음부터 읽습니다. ----";

    CKelWatchDoc() = default;
    CKelWatchDoc(const CKelWatchDoc&) = delete;
    CKelWatchDoc& operator=(const CKelWatchDoc&) = delete;

    // Stores the path; the file is not touched until the first cycle.
    bool OnOpenDocument(const wchar_t* path);

    const CStringW& GetPathName() const { return m_strPath; }
    ULONGLONG GetReadPosition() const { return m_nReadPosition; }
    ULONGLONG GetTextLimit() const { return m_nTextLimit; }
    int GetEncoding() const { return m_nEncoding; }

    // Reads the file again from its first byte in the encoding `id` (an id
    // the cycle can follow), or detects it again for UNDETECTED; a document
    // that had stopped following follows again. The path stays the same.
    // Each call starts a new generation: a view that has shown an older one
    // drops its text. False, and nothing changed, for an id it cannot read.
    bool SetEncoding(int id);
    // True when the encoding is the user's choice rather than detected.
    bool IsEncodingChosen() const { return m_bEncodingChosen; }
    unsigned Generation() const { return m_nGeneration; }

    // One read cycle: every line that is new since the last cycle goes to
    // `lines`; returns how many (0 when the file cannot be opened).
    size_t ReadCycle(CWatchLineSink& lines);
    // The same as text: every line followed by "\r\n".
    CStringW ReadCycle();
    // True when the last cycle stopped at its budget with more lines waiting.
    bool HasMore() const { return m_bHasMore; }
    // True while a big file's encoding is being detected beside the cycles.
    bool IsDetecting() const { return m_detection.valid() && m_nEncoding == CKelFile::UNDETECTED; }
    // False once the file turned out to be in an encoding that cannot be
    // shown, or compressed; the cycle that found it returned a note saying so.
    bool IsFollowing() const { return m_bFollowing; }
    // What keeps the file from being read, for the tab and the status pane
    // ("파일이 없습니다: PATH", "읽을 권한이 없습니다: PATH", "파일이 아닙니다:
    // PATH"); empty once it is read. The cycles keep looking, so the text
    // appears as soon as the file can be read.
    const CStringW& FileProblem() const { return m_strProblem; }
    // True while every byte read was 7-bit: such text reads alike in every
    // encoding, so the detected ASCII stays open and the encoding is
    // detected again from the first line with a byte of 0x80 or more.
    bool IsEncodingOpen() const { return m_bEncodingOpen; }
    // True when no encoding fitted the file: it is shown as UTF-8, with a
    // replacement character for each byte that is not UTF-8.
    bool IsUtf8Fallback() const { return m_bUtf8Fallback; }
    // "gzip", "bzip2", "xz" or "zstd" for a compressed file (not followed);
    // null otherwise.
    const wchar_t* CompressionName() const { return m_pszCompression; }

    void SetCycleBudget(ULONGLONG bytes) { m_nCycleBudget = bytes ? bytes : 1; }
    void SetDetectionLimit(ULONGLONG bytes) { m_nDetectionLimit = bytes; }

private:
    ULONGLONG _WaitingBytes() const;
    std::optional<int> _DetectEncoding();
    bool _TakeDetectedEncoding();
    void _ForgetEncoding();
    size_t _FollowThePath(CWatchLineSink& lines);
    size_t _MoveToTheNewFile(kel::platform::CFileHandle named, CWatchLineSink& lines);
    void _NoteFileProblem(const std::string& name);
    void _StartOver();
    std::vector<BYTE> _BytesBeforeReadPosition();
    bool _SkipZeroRun();

    CStringW m_strPath;
    kel::platform::CFileHandle m_file; // the followed file, open between cycles
    bool m_bPathGone = false;          // the path named no file at the last cycle
    ULONGLONG m_nReadPosition = 0;
    ULONGLONG m_nTextLimit = 0; // 0: the view's largest limit; never changed
    int m_nEncoding = CKelFile::UNDETECTED;
    bool m_bEncodingChosen = false;
    unsigned m_nGeneration = 0;
    bool m_bFollowing = true;
    bool m_bHasMore = false;
    ULONGLONG m_nCycleBudget = kDefaultCycleBudget;
    ULONGLONG m_nDetectionLimit = kDefaultDetectionLimit;
    std::future<std::optional<int>> m_detection;
    ULONGLONG m_nDetectFrom = 0; // where the bytes to detect from start
    bool m_bEncodingOpen = false;
    bool m_bUtf8Fallback = false;
    const wchar_t* m_pszCompression = nullptr;
    CStringW m_strProblem;
    // The last bytes before the read position as they were read: a file
    // cut and written again between two cycles no longer has them.
    std::vector<BYTE> m_fingerprint;
    bool m_bSkipZeros = false; // a cut file may start again with a run of zero bytes
};
