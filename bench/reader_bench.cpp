// Benchmark helper (not a test): makes the benchmark's input files and
// measures the engine's ZIP reader.
//
//   reader_bench generate DIR        writes about 125 MB of mixed files
//   reader_bench product DIR         writes the install benchmark's product:
//                                    50 files of 2 MiB, alternately random
//                                    bytes and word text
//   reader_bench extract ZIP PASS    extracts every entry into memory and
//                                    prints seconds and MB/s
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/zip_reader.h"

namespace {

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// Log-like text: compresses about 4:1 with deflate.
std::vector<uint8_t> Text(size_t size, std::mt19937& gen) {
  static const char* const kWords[] = {"install", "folder", "registry", "value", "copied",
                                       "service", "started", "payload", "shortcut", "created",
                                       "warning", "error", "skipped", "version", "product"};
  std::vector<uint8_t> out;
  out.reserve(size + 128);
  char line[160];
  while (out.size() < size) {
    int n = std::snprintf(line, sizeof(line), "%06u %02u:%02u:%02u %s %s %s id=%u\n",
                          static_cast<unsigned>(gen() % 1000000), static_cast<unsigned>(gen() % 24),
                          static_cast<unsigned>(gen() % 60), static_cast<unsigned>(gen() % 60),
                          kWords[gen() % 15], kWords[gen() % 15], kWords[gen() % 15],
                          static_cast<unsigned>(gen() % 5000));
    out.insert(out.end(), line, line + n);
  }
  out.resize(size);
  return out;
}

// Records with a few random fields: compresses about 2:1.
std::vector<uint8_t> Structured(size_t size, std::mt19937& gen) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; i += 32) {
    for (size_t k = 0; k < 32 && i + k < size; ++k)
      out[i + k] = k < 8 ? static_cast<uint8_t>(gen()) : static_cast<uint8_t>(k * 3 + (i >> 12));
  }
  return out;
}

std::vector<uint8_t> Random(size_t size, std::mt19937& gen) {
  std::vector<uint8_t> out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(gen());
  return out;
}

int Generate(const std::string& dir) {
  std::mt19937 gen(20240601);
  const size_t mb = 1 << 20;
  for (int i = 0; i < 8; ++i) WriteFile(dir + "/log" + std::to_string(i) + ".txt", Text(8 * mb, gen));
  for (int i = 0; i < 4; ++i) WriteFile(dir + "/media" + std::to_string(i) + ".bin", Random(10 * mb, gen));
  for (int i = 0; i < 2; ++i) WriteFile(dir + "/table" + std::to_string(i) + ".dat", Structured(8 * mb, gen));
  for (int i = 0; i < 200; ++i)
    WriteFile(dir + "/doc" + std::to_string(i) + ".txt", Text(4096 + gen() % 61440, gen));
  return 0;
}

// Text of words from a vocabulary of made-up words, with line breaks:
// deflate takes it to a bit under half its size.
std::vector<uint8_t> Words(size_t size, std::mt19937& gen) {
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 8192; ++i) {
    std::string word;
    int length = 2 + static_cast<int>(gen() % 9);
    for (int k = 0; k < length; ++k) word += static_cast<char>('a' + gen() % 26);
    vocabulary.push_back(word);
  }
  std::vector<uint8_t> out;
  out.reserve(size + 16);
  size_t line = 0;
  while (out.size() < size) {
    const std::string& w = vocabulary[gen() % vocabulary.size()];
    out.insert(out.end(), w.begin(), w.end());
    line += w.size() + 1;
    if (line > 72) {
      out.push_back('\n');
      line = 0;
    } else {
      out.push_back(' ');
    }
  }
  out.resize(size);
  return out;
}

int Product(const std::string& dir) {
  std::mt19937 gen(20261208);
  const size_t file_size = 2 << 20;
  for (int i = 0; i < 50; ++i) {
    char name[32];
    std::snprintf(name, sizeof(name), "/file%02d.%s", i, i % 2 ? "txt" : "bin");
    WriteFile(dir + name, i % 2 ? Words(file_size, gen) : Random(file_size, gen));
  }
  return 0;
}

int Extract(const std::string& path, const char* password) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<uint8_t> data(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  auto start = std::chrono::steady_clock::now();
  archive::ArchiveHandle* h = archive::OpenArchive(data.data(), static_cast<uint32_t>(data.size()), password);
  if (!h) {
    std::fprintf(stderr, "reader_bench: %s: cannot open\n", path.c_str());
    return 1;
  }
  archive::ArchiveEntry summary;
  archive::GetEntry(h, -1, &summary);
  std::vector<uint8_t> buffer;
  uint64_t total = 0;
  for (int32_t i = 0; i < summary.index; ++i) {
    archive::ArchiveEntry e;
    if (archive::GetEntry(h, i, &e) != archive::kZipOk) return 1;
    if (e.attributes & archive::kAttributeDirectory) continue;
    buffer.resize(static_cast<size_t>(e.uncompressed_size) + 1);
    int32_t status = archive::ExtractEntryToMemory(h, i, buffer.data(), static_cast<uint32_t>(e.uncompressed_size));
    if (status != archive::kZipOk) {
      std::fprintf(stderr, "reader_bench: %s: entry %s: status 0x%08x\n", path.c_str(), e.name,
                   static_cast<unsigned>(status));
      return 1;
    }
    total += static_cast<uint64_t>(e.uncompressed_size);
  }
  archive::CloseArchive(h);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f %.1f\n", seconds, total / 1e6 / seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "generate") == 0) return Generate(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "product") == 0) return Product(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "extract") == 0) return Extract(argv[2], argv[3]);
  std::fprintf(stderr, "usage: reader_bench generate DIR | product DIR | extract ZIP PASSWORD\n");
  return 2;
}
