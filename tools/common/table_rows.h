// The shared table files: a header line, then rows of blank-separated fields.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

// Every row after the header, blank lines left out. A file that cannot be opened stops the
// generator: a table built from nothing would compile and decode wrongly.
inline std::vector<std::vector<std::string>> read_rows(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "cannot open " << path << "\n";
    std::exit(1);
  }
  std::vector<std::vector<std::string>> rows;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (first) {
      first = false;
      continue;
    }
    std::istringstream ls(line);
    std::vector<std::string> f;
    std::string w;
    while (ls >> w) f.push_back(w);
    if (!f.empty()) rows.push_back(f);
  }
  return rows;
}
