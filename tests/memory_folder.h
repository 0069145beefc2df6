// A folder in memory for the extraction's test hosts: each path (relative to the installation
// folder) with its attributes, bytes and time (one for all three).
#pragma once
#include <map>
#include <ostream>
#include <stdint.h>
#include <string>

#include "payload/extract_host.h"

struct Node {
    uint32_t attributes;
    std::string data;
    uint64_t time;
    bool operator==(const Node& o) const { return attributes == o.attributes && data == o.data && time == o.time; }
};
typedef std::map<std::string, Node> Disk;

// Visits the entries right inside prefix ("" for the top, else "FOLDER\"), from a copy of the
// disk, so that the visitor's host may change it meanwhile.
inline void ListDisk(const Disk& disk, const std::string& prefix, FolderVisitor visit, void* context) {
    const Disk listed = disk;
    for (const auto& entry : listed)
        if (entry.first.compare(0, prefix.size(), prefix) == 0 &&
            entry.first.find('\\', prefix.size()) == std::string::npos)
            visit(context, entry.first.c_str() + prefix.size(), entry.second.attributes,
                  FileTimes{entry.second.time, entry.second.time, entry.second.time}, entry.second.data.size());
}
// How a failed expectation shows a node.
inline void PrintTo(const Node& n, std::ostream* os) {
    *os << std::hex << n.attributes << std::dec << " \"" << n.data << "\" " << n.time;
}
