#pragma once

// A tree written in the tests, behind the engine's source interface: for the cases a real
// tree cannot arrange (a listing that fails part way, a read error on one file), and to show
// that the run does not know which source it has.

#include "TreeSource.h"

#include <algorithm>
#include <cerrno>
#include <map>

namespace dirwise::test {

class TestSource : public TreeSource {
public:
    struct Entry {
        bool folder = false;
        std::int64_t size = 0, time = 0;
        int error = 0; // facts: the file's facts cannot be read; folder: it cannot be listed
    };

    explicit TestSource(std::string root) : m_root(std::move(root)) {}

    // "a/b/f" a file, "a/b/" a folder (its parents are made as needed).
    TestSource &add(const std::string &path) { return add(path, Entry{}); }
    TestSource &add(const std::string &path, Entry e) {
        for (std::size_t slash = path.find('/');
             slash != std::string::npos && slash + 1 < path.size();
             slash = path.find('/', slash + 1))
            m_entries.try_emplace(path.substr(0, slash + 1), Entry{true});
        e.folder = e.folder || path.back() == '/';
        m_entries[path] = e;
        return *this;
    }
    // The folder's listing stops with `error` after its first `kept` names.
    void failListing(const std::string &folder, int error, std::size_t kept) {
        m_partial[folder] = {error, kept};
    }
    // Folders the walk asked the source to list, in order.
    std::vector<std::string> listed;
    // What RootGone answers; the files go on answering regardless, as a lazily unmounted
    // mount does through the folders a reader holds open.
    bool gone = false;
    bool RootGone() override { return gone; }

    const std::string &Root() const override { return m_root; }
    std::unique_ptr<FolderLister> NewLister(WorkerPool &, bool) override {
        return std::make_unique<Lister>(*this);
    }
    std::unique_ptr<FileReader> NewReader() override { return std::make_unique<Reader>(*this); }

private:
    struct Lister : FolderLister {
        explicit Lister(TestSource &s) : source(s) {}
        ListAnswer ListRoot(FolderListing &out) override { return source.list("", out); }
        ListAnswer ListChild(const FolderPlace &place, FolderListing &out) override {
            return source.list(std::string(place.relative), out);
        }
        TestSource &source;
    };
    struct Reader : FileReader {
        explicit Reader(const TestSource &s) : source(s) {}
        EntryFacts Facts(const ScanState &state, std::uint32_t dir, const char *name) override {
            const auto it = source.m_entries.find(state.RelativeDir(dir).substr(1) + name);
            EntryFacts f;
            if (it == source.m_entries.end() || it->second.error != 0) {
                f.error = it == source.m_entries.end() ? ENOENT : it->second.error;
                return f;
            }
            const Entry &e = it->second;
            f.type = e.folder ? EntryFacts::Type::Folder : EntryFacts::Type::Regular;
            f.size = e.size;
            f.time = e.time;
            return f;
        }
        OpenedFile OpenBytes(const ScanState &, std::uint32_t, const char *) override {
            OpenedFile none;
            none.error = ENOTSUP;
            return none;
        }
        const TestSource &source;
    };

    ListAnswer list(const std::string &folder, FolderListing &out) {
        listed.push_back(folder);
        if (const auto it = m_entries.find(folder); it != m_entries.end() && it->second.error)
            return {ListAnswer::Kind::Failed, it->second.error};
        out = FolderListing{};
        // The names right below `folder`, in byte order ("a" before "a.txt" before "a/").
        std::vector<std::pair<std::string, bool>> names;
        for (auto it = m_entries.upper_bound(folder);
             it != m_entries.end() && it->first.compare(0, folder.size(), folder) == 0; ++it) {
            std::string name = it->first.substr(folder.size());
            const std::size_t slash = name.find('/');
            if (slash != std::string::npos && slash + 1 != name.size())
                continue; // deeper down
            if (slash != std::string::npos)
                name.pop_back();
            names.emplace_back(std::move(name), it->second.folder);
        }
        std::sort(names.begin(), names.end());
        for (const auto &[name, isFolder] : names) {
            out.entries.push_back({static_cast<std::uint32_t>(out.names.size()),
                                   static_cast<std::uint32_t>(name.size()), isFolder});
            out.names += name;
        }
        if (const auto p = m_partial.find(folder); p != m_partial.end()) {
            out.error = p->second.first;
            out.entries.resize(std::min(out.entries.size(), p->second.second));
        }
        return {ListAnswer::Kind::Listed};
    }

    std::string m_root;
    std::map<std::string, Entry> m_entries; // by relative path
    std::map<std::string, std::pair<int, std::size_t>> m_partial;
};

} // namespace dirwise::test
