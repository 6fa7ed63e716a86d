// Asking a snapshot while it is read: a question waits only until the part of the stream
// that answers it has come (a folder's other entries: the next folder's line; a subfolder:
// one after it in byte order, or the end of its folder). Once the pass has ended, nothing
// waits and nothing is locked. What a stream that broke off never delivered answers EIO.

#include "SnapshotStream.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace dirwise {

namespace {

using Ref = SnapshotView::Ref;
constexpr std::uint32_t Self = 0xffffffffu; // a reference's entry part naming the folder itself

Ref folderRef(std::uint32_t f) { return Ref{f} << 32 | Self; }
Ref fileRef(std::uint32_t f, std::uint32_t i) { return Ref{f} << 32 | i; }
std::uint32_t folderOf(Ref r) { return static_cast<std::uint32_t>(r >> 32); }
std::uint32_t entryOf(Ref r) { return static_cast<std::uint32_t>(r & 0xffffffffu); }

} // namespace

class StreamView : public SnapshotView {
public:
    explicit StreamView(const SnapshotStream &stream) : m_s(stream) {}

    Ref Root() override { return folderRef(0); }

    SnapshotFacts Get(Ref r) override {
        SnapshotFacts e;
        const std::uint32_t f = folderOf(r);
        if (entryOf(r) == Self) {
            e.type = EntryType::Dir;
            Steady lock(m_s, m_whileWaiting);
            if (!lock.until([&] { return f < m_s.m_folders.size(); }))
                return e;
            const SnapshotStream::Folder &folder = m_s.m_folders[f];
            e.name = f == 0 ? std::string_view() : folder.nameView();
            e.hasTime = folder.hasTime;
            e.time = {folder.seconds, folder.nanoseconds};
            return e;
        }
        const SnapshotStream::Files &files = held(f);
        const SnapshotStream::Node &n = files.nodes[entryOf(r)];
        e.name = files.name(n);
        e.type = n.type;
        e.size = n.size;
        e.hasTime = n.hasTime;
        e.time = {n.seconds, n.nanoseconds};
        e.link = files.link(n);
        e.digest = n.digest == 0xffffffffu ? nullptr : &files.digests[n.digest];
        return e;
    }

    int Children(Ref dir, std::vector<Ref> &out) override {
        out.clear();
        const std::uint32_t f = folderOf(dir);
        std::vector<std::uint32_t> &subs = m_subs;
        {
            Steady lock(m_s, m_whileWaiting);
            if (!lock.until([&] { return f < m_s.m_folders.size() && m_s.m_folders[f].closed; }))
                return EIO; // the stream ended before the folder did
            subs = m_s.m_folders[f].subs;
        }
        const SnapshotStream::Files &files = held(f);
        if (files.error)
            return files.error;
        std::size_t s = 0;
        for (std::uint32_t i = 0; i < files.nodes.size(); ++i) {
            const std::string_view name = files.name(files.nodes[i]);
            for (; s < subs.size() && folderName(subs[s]) < name; ++s)
                out.push_back(folderRef(subs[s]));
            out.push_back(fileRef(f, i));
        }
        for (; s < subs.size(); ++s)
            out.push_back(folderRef(subs[s]));
        return 0;
    }

protected:
    Ref Child(Ref dir, std::string_view name) override {
        if (entryOf(dir) != Self)
            return None;
        const std::uint32_t f = folderOf(dir);
        // A folder's other entries come before its subfolders.
        const SnapshotStream::Files &files = held(f);
        if (files.error)
            return None;
        if (const std::uint32_t i = file(files, name); i != Self)
            return fileRef(f, i);
        Steady lock(m_s, m_whileWaiting);
        const SnapshotStream::Folder *folder = nullptr;
        const bool known = lock.until([&] {
            folder = &m_s.m_folders[f];
            return folder->closed ||
                   (!folder->subs.empty() && folderName(folder->subs.back()) >= name);
        });
        folder = &m_s.m_folders[f];
        const auto sub = std::lower_bound(
            folder->subs.begin(), folder->subs.end(), name,
            [&](std::uint32_t s, std::string_view key) { return folderName(s) < key; });
        if (sub != folder->subs.end() && folderName(*sub) == name)
            return folderRef(*sub);
        if (!known)
            m_failure = EIO; // the stream ended before it could tell
        return None;
    }

    Ref Parent(Ref r) override {
        const std::uint32_t f = folderOf(r);
        if (entryOf(r) != Self)
            return folderRef(f);
        if (f == 0)
            return folderRef(0);
        Steady lock(m_s, m_whileWaiting);
        return folderRef(m_s.m_folders[f].parent);
    }

    EntryType TypeOf(Ref r) override {
        return entryOf(r) == Self ? EntryType::Dir : held(folderOf(r)).nodes[entryOf(r)].type;
    }

private:
    // The stream's state held still: under its lock while the pass goes on, and free once it
    // has ended (nothing changes then).
    class Steady {
    public:
        Steady(const SnapshotStream &s, const std::function<void()> &whileWaiting)
            : m_s(s), m_lock(s.m_lock, std::defer_lock), m_whileWaiting(whileWaiting) {
            if (!s.Finished())
                m_lock.lock();
        }
        // Waits until `ready` holds or the pass has ended; returns `ready`. The view's
        // WhileWaiting call is made every 20 ms of the wait, outside the lock.
        template <class Ready> bool until(Ready ready) {
            while (m_lock.owns_lock() && !ready() && !m_s.Finished()) {
                ++m_s.m_waiting;
                const bool woken = m_s.m_arrived.wait_for(m_lock, std::chrono::milliseconds(20)) ==
                                   std::cv_status::no_timeout;
                --m_s.m_waiting;
                if (!woken && m_whileWaiting) {
                    m_lock.unlock();
                    m_whileWaiting();
                    m_lock.lock();
                }
            }
            return ready();
        }

    private:
        const SnapshotStream &m_s;
        std::unique_lock<std::mutex> m_lock;
        const std::function<void()> &m_whileWaiting;
    };

    // The name of folder s (the lock held, or the pass ended).
    std::string_view folderName(std::uint32_t s) const { return m_s.m_folders[s].nameView(); }

    // Folder f's other entries, once they are whole; the last two asked stay held, so what
    // Get gave for one stays valid while the other is looked into.
    const SnapshotStream::Files &held(std::uint32_t f) {
        if (!(m_held[0] && m_held[0]->folder == f)) {
            if (m_held[1] && m_held[1]->folder == f) {
                std::swap(m_held[0], m_held[1]);
            } else {
                m_held[1] = std::move(m_held[0]);
                m_held[0] = take(f);
            }
        }
        if (m_held[0]->error)
            m_failure = m_held[0]->error;
        return *m_held[0];
    }

    // The index of the entry named `name` among `files`, or Self. A reader asks a folder's
    // names in byte order, so the search starts where the last one ended: the entry after
    // the last one found (or where the last name missing would have been) is tried first,
    // then the one before it (the same name asked again), and only then the rest is halved.
    std::uint32_t file(const SnapshotStream::Files &files, std::string_view name) {
        const auto count = static_cast<std::uint32_t>(files.nodes.size());
        std::uint32_t lo = 0, hi = count;
        if (m_cursorFolder == files.folder && m_cursor <= count) {
            const std::uint32_t c = m_cursor;
            if (c < count) {
                const int order = files.name(files.nodes[c]).compare(name);
                if (order == 0)
                    return found(files.folder, c);
                if (order < 0)
                    lo = c + 1;
                else
                    hi = c;
            }
            if (c > 0 && lo < c) {
                const int order = files.name(files.nodes[c - 1]).compare(name);
                if (order == 0)
                    return found(files.folder, c - 1);
                if (order < 0)
                    lo = c;
                else
                    hi = c - 1;
            }
        }
        const auto begin = files.nodes.begin();
        const auto it = std::lower_bound(begin + lo, begin + hi, name,
                                         [&](const SnapshotStream::Node &n, std::string_view key) {
                                             return files.name(n) < key;
                                         });
        const auto at = static_cast<std::uint32_t>(it - begin);
        if (it != begin + hi && files.name(*it) == name)
            return found(files.folder, at);
        m_cursorFolder = files.folder;
        m_cursor = at; // where it would have been: the next name is not before it
        return Self;
    }

    std::uint32_t found(std::uint32_t folder, std::uint32_t i) {
        m_cursorFolder = folder;
        m_cursor = i + 1;
        return i;
    }

    std::shared_ptr<const SnapshotStream::Files> take(std::uint32_t f) {
        SnapshotStream::Lines lines;
        {
            Steady lock(m_s, m_whileWaiting);
            if (!lock.until([&] { return f < m_s.m_folders.size() && m_s.m_folders[f].filesDone; }))
                return broken(f);
            if (m_s.m_folders[f].files)
                return m_s.m_folders[f].files;
            lines = m_s.m_folders[f].lines;
        }
        return m_s.files(f, lines);
    }

    static std::shared_ptr<const SnapshotStream::Files> broken(std::uint32_t f) {
        auto out = std::make_shared<SnapshotStream::Files>();
        out->folder = f;
        out->error = EIO;
        return out;
    }

    const SnapshotStream &m_s;
    std::shared_ptr<const SnapshotStream::Files> m_held[2];
    std::vector<std::uint32_t> m_subs;
    std::uint32_t m_cursorFolder = Self; // the folder the cursor is in
    std::uint32_t m_cursor = 0;          // where the next name is looked for first
};

std::unique_ptr<SnapshotView> SnapshotStream::NewView() const {
    return std::make_unique<StreamView>(*this);
}

} // namespace dirwise
