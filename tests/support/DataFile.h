// Reference tables kept as text under tests/data/: one record a line, its fields apart by
// "|" with the blanks around them trimmed. "#" starts a comment line (each file names
// where its values come from and how to make them again); blank lines are skipped. In a
// field, \| \\ \t \n and \r stand for the character itself, so that hostile texts fit on
// one line.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

struct DataRecord {
    std::string where;  // "file:line", for a failing test's message
    std::vector<std::string> fields;

    const std::string& operator[](size_t i) const { return fields.at(i); }
    double Number(size_t i) const { return std::stod(fields.at(i)); }
};

inline std::string DataPath(const std::string& name) {
    return std::string(TALPOR_TEST_DATA) + "/" + name;
}

inline std::string TrimBlanks(const std::string& s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// Every record of tests/data/<name>; a file that is missing or holds no record throws, so
// that a runner never passes on nothing.
inline std::vector<DataRecord> ReadDataFile(const std::string& name) {
    std::ifstream in(DataPath(name));
    if (!in) throw std::runtime_error("no reference file " + DataPath(name));
    std::vector<DataRecord> records;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (TrimBlanks(line).empty() || TrimBlanks(line)[0] == '#') continue;
        DataRecord record{name + ":" + std::to_string(number), {}};
        std::string field;
        for (size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (c == '\\' && i + 1 < line.size()) {
                char e = line[++i];
                field += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
                // An escaped blank at either end must survive the trimming below.
                if (e == ' ') field.back() = '\x01';
            } else if (c == '|') {
                record.fields.push_back(field);
                field.clear();
            } else {
                field += c;
            }
        }
        record.fields.push_back(field);
        for (auto& f : record.fields) {
            f = TrimBlanks(f);
            for (auto& ch : f)
                if (ch == '\x01') ch = ' ';
        }
        records.push_back(std::move(record));
    }
    if (records.empty()) throw std::runtime_error("no record in " + DataPath(name));
    return records;
}

}  // namespace testing_support
