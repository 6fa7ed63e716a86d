#pragma once

// Reading mtree manifests as a stream of entries: the form libarchive writes (first line
// "#mtree", one full path per line) and the form of NetBSD's `mtree -c` (a "#" comment
// header, /set lines, names relative to the directory last entered, ".." to go back up).

#include "Sha256.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dirwise {

enum class EntryType : std::uint8_t { File, Dir, Link, Block, Char, Fifo, Socket };

// The mtree word for a type ("file", "dir", "link", "block", "char", "fifo", "socket").
[[nodiscard]] std::string_view EntryTypeName(EntryType type);

// A time as the file system keeps it: whole seconds rounded down and the nanoseconds past
// them (0 to 999,999,999), so a time before 1970 has negative seconds and positive
// nanoseconds.
struct SnapshotTime {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    friend bool operator==(const SnapshotTime &, const SnapshotTime &) = default;
};

// Appends "SECONDS.NANOSECONDS" with the nanoseconds as a count without leading zeros ("1.5"
// is one second and 5 ns; "-101.750000000" is 100.25 s before 1970), the way mtree writers
// put it.
void AppendSnapshotTime(std::string &out, SnapshotTime time);
// Reads that form (or whole seconds alone). False for anything else, or past the range.
[[nodiscard]] bool ParseSnapshotTime(std::string_view text, SnapshotTime &out);

// One entry of a manifest. `path` is relative to the manifest's root ("" for the root,
// "a/b" below it, no "." or ".." components), its bytes decoded from the escapes.
struct SnapshotEntry {
    std::string path;
    EntryType type = EntryType::File;
    std::int64_t size = -1; // -1: not given
    bool hasTime = false;
    SnapshotTime time;
    std::string link; // the target of a link, as stored; empty when not given
    bool hasDigest = false;
    Sha256 digest{};
};

// An entry as the reader holds it: `path` and `link` are views into the reader's buffers,
// valid until its next call. The fields mean what SnapshotEntry's do.
struct SnapshotEntryView {
    std::string_view path;
    std::string_view name; // the last component of `path` ("" for the root)
    EntryType type = EntryType::File;
    std::int64_t size = -1;
    bool hasTime = false;
    SnapshotTime time;
    std::string_view link;
    bool hasDigest = false;
    Sha256 digest{};
};

// Decodes a name or link target written with escapes: octal "\ooo" (libarchive), and the
// vis(3) forms NetBSD writes ("\s", "\t", "\n", "\\", "\#", "\M-x", "\M^x", "\^x", ...).
// Returns false for an escape that is cut off or unknown.
[[nodiscard]] bool DecodeMtreeName(std::string_view text, std::string &out);
// The bytes the escape at text[i] (a backslash) takes: "\M-x" and "\M^x" four, "\^x" three,
// "\ooo" up to four, any other two; less when the text ends first (a cut-off escape).
[[nodiscard]] std::size_t MtreeEscapeLength(std::string_view text, std::size_t i);
// The escaped form of `name` that both libarchive and NetBSD read back: every byte that is
// not printable ASCII, and blank, "#", "=" and "\", as "\ooo".
[[nodiscard]] std::string EncodeMtreeName(std::string_view name);

// Whether `head` (the first bytes of a file, 4 KiB or so) starts a manifest: its first line
// is "#mtree", or it opens with "#" comment lines and the first other line is a /set or
// /unset line or the root's "." entry (NetBSD's `mtree -c` writes no "#mtree" line).
[[nodiscard]] bool LooksLikeManifest(std::string_view head);

// Reads entries from a descriptor as its bytes arrive (a file or a pipe), holding only the
// current line: the first entry comes before the rest is read. Entries come in the
// manifest's order. Lines longer than MaxLine, bytes no manifest holds (NUL and other
// control characters), unknown keywords, bad values, a path that leaves the root (".."
// components, an absolute path, ".." above the root), and a last line without its newline
// (a cut-off file) all stop the reading with an error naming the line.
class MtreeReader {
public:
    // Reads from `fd`, which stays the caller's.
    explicit MtreeReader(int fd);
    // Reads the lines in `bytes` (which must outlive the reader), counting lines from
    // `firstLine`: a piece of a manifest read before, taken up again.
    MtreeReader(std::string_view bytes, std::int64_t firstLine);

    // Called before each read of the descriptor, that is, whenever every line read so far
    // has been handed out and the next read may wait for the writer.
    void BeforeRead(std::function<void()> call) { m_beforeRead = std::move(call); }

    // The next entry into `out`. False at the end of the manifest, or on an error
    // (error() then is not empty); after false, false again.
    [[nodiscard]] bool Next(SnapshotEntry &out);
    // As Next, without copying the path and link: the views hold until the next call.
    [[nodiscard]] bool NextView(SnapshotEntryView &out);
    // Why reading stopped: empty at a clean end.
    [[nodiscard]] const std::string &error() const { return m_error; }
    // The first line of the entry Next gave last.
    [[nodiscard]] std::int64_t line() const { return m_lineStart; }
    // The line an error was found on (1 for the first), 0 for an error reading the file.
    [[nodiscard]] std::int64_t errorLine() const { return m_errorLine; }
    // The byte offset in the stream where the entry Next gave last begins, and where the
    // line after it begins.
    [[nodiscard]] std::uint64_t entryOffset() const { return m_entryOffset; }
    [[nodiscard]] std::uint64_t offset() const { return m_consumed + m_at; }
    // Whether every line so far stood alone: full paths ("." or "./a/b"), no /set, /unset or
    // ".." lines. Such a line can be read again by itself (see the reader over bytes).
    [[nodiscard]] bool linesStandAlone() const { return m_standAlone; }

    static constexpr std::size_t MaxLine = 1 << 20;

private:
    // The entry on the next line when it is in the plain form our own writer gives
    // ("./PATH type=T size=N time=S.N link=L sha256digest=D", octal escapes at most) and
    // sound; false, nothing taken, for any other line: the full reading then takes it and
    // says what is wrong with it.
    bool plainLine(SnapshotEntryView &out);
    bool readLine(std::string &line); // one logical line, continuations joined
    bool fill();                      // more bytes into m_buffer; false at the end or on error
    bool fail(std::string message);   // records the error on the current line; false
    // Applies the keywords words[first...] to `entry`.
    bool keywords(const std::vector<std::string_view> &words, std::size_t first,
                  SnapshotEntry &entry);
    bool keyword(std::string_view name, std::string_view value, SnapshotEntry &entry);
    bool unset(const std::vector<std::string_view> &words);
    bool entryPath(std::string_view word, std::string &path);
    bool entry(const std::vector<std::string_view> &words, SnapshotEntry &out);
    bool readEntry(SnapshotEntry &out); // the next entry, by the full reading

    int m_fd;
    std::function<void()> m_beforeRead;
    std::string m_buffer;
    std::size_t m_at = 0;
    std::uint64_t m_consumed = 0;   // bytes dropped from the front of m_buffer
    std::uint64_t m_lineOffset = 0; // where the logical line being read begins
    std::uint64_t m_entryOffset = 0;
    bool m_standAlone = true;
    bool m_eof = false;
    bool m_done = false;
    std::int64_t m_line = 0;      // the last physical line read
    std::int64_t m_lineStart = 0; // the first physical line of the current logical line
    std::string m_error;
    std::int64_t m_errorLine = 0;
    std::string m_cwd;          // the directory relative names are in ("" the root)
    SnapshotEntry m_defaults;   // what /set gave, for the keywords an entry leaves out
    std::string m_text;         // the logical line being read
    std::string m_name, m_path; // the entry's name being decoded, its path
    std::string m_link;         // a link target being decoded
    std::string m_plainFolder;  // the folder part of the last plain line, as it was written
    SnapshotEntry m_entry;      // what the full reading gave, for NextView
    std::vector<std::string_view> m_words;
};

} // namespace dirwise
