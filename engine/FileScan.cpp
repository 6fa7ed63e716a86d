#include "FileScan.h"

#include "LiveSource.h"
#include "WorkerPool.h"

namespace dirwise {

void ScanDirectory(ScanState &state, CompareHost &host, const std::string &path,
                   const std::vector<std::string> &patterns, const ScanRules &rules) {
    WorkerPool pool;
    LiveSource source(path);
    Walk(source, pool, state, host, patterns, rules);
}

} // namespace dirwise
