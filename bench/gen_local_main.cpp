// bench_gen_local: writes an in-house order file for the benchmarks.
//   bench_gen_local OUT (--lines N | --mb SIZE) [--keys K] [--lines-per-key L] [--details R] [--seed S] [--wide | --short]
// SIZE is in MB (1,000,000 bytes) and may be a fraction. Prints the lines and bytes written.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "local_file_generator.h"

int main(int argc, char** argv) {
  edi::bench::GeneratorOptions options;
  std::string out;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::cerr << "bench_gen_local: " << a << " needs a value\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--lines") options.lines = std::atoll(value());
    else if (a == "--mb") options.targetBytes = static_cast<long long>(std::atof(value()) * 1e6);
    else if (a == "--keys") options.keys = std::atoi(value());
    else if (a == "--lines-per-key") options.linesPerKey = std::atoi(value());
    else if (a == "--details") options.details = std::atoi(value());
    else if (a == "--seed") options.seed = std::strtoull(value(), nullptr, 10);
    else if (a == "--wide") options.layout = edi::bench::Layout::Wide;
    else if (a == "--short") options.layout = edi::bench::Layout::Short;
    else if (out.empty() && a[0] != '-') out = a;
    else {
      std::cerr << "usage: bench_gen_local OUT (--lines N | --mb SIZE) [--keys K] [--lines-per-key L]"
                   " [--details R] [--seed S] [--wide | --short]\n";
      return 2;
    }
  }
  if (out.empty() || (options.lines <= 0 && options.targetBytes <= 0)) {
    std::cerr << "bench_gen_local: an output file and --lines or --mb are needed\n";
    return 2;
  }
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  edi::bench::LocalFileGenerator generator(options);
  long long lines = generator.Write(file);
  file.close();
  if (!file) {
    std::cerr << "bench_gen_local: cannot write " << out << "\n";
    return 1;
  }
  std::cout << lines << " lines, " << lines * edi::bench::LineBytes(options) << " bytes\n";
  return 0;
}
