// consumer FILE: reads FILE through the installed API (its tables and first rows to standard
// error), then writes the preview page to standard output, as `tabvora preview FILE` does.
#include <iostream>

#include <tabvora/tabvora.hpp>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: consumer FILE\n";
    return 2;
  }
  try {
    tabvora::Document document = tabvora::Document::open(argv[1]);
    for (const tabvora::TableInfo& table : document.tables()) {
      const tabvora::Rows rows = document.page(table.name, 1);
      std::cerr << table.name << ": " << rows.columns.size() << " columns, " << rows.totalRowCount << " rows\n";
    }
  } catch (const tabvora::Error& error) {
    std::cerr << error.domain() << ": " << error.message() << '\n';
    return 1;
  }
  std::cout << tabvora::previewPage(argv[1]);
  return 0;
}
