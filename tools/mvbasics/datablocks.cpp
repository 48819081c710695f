// mvbasics checksum | pack | unpack: the block checksum and the byte-run compression
// of stored data, over files or the standard streams ("-").
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli.h"
#include "commands.h"
#include "stored_blocks.h"

namespace mvtool {
namespace {

// Input and output are taken in pieces of this size, far below the signed 32-bit
// lengths of the library's functions.
constexpr size_t kPiece = 1 << 20;

bool ReadAll(const std::string& path, std::string* data) {
    if (path == "-") {
        data->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return !std::cin.bad();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

const char* NameOf(const std::string& path) {
    return path == "-" ? "standard input" : path.c_str();
}

// Standard output, or the named file.
class Output {
  public:
    explicit Output(const std::string& path) : m_path(path) {
        if (!ToStdout()) m_file.open(path, std::ios::binary | std::ios::trunc);
    }
    bool ToStdout() const { return m_path.empty() || m_path == "-"; }
    bool Open() const { return ToStdout() || m_file.is_open(); }
    bool Write(const void* bytes, size_t length) {
        if (ToStdout()) return std::fwrite(bytes, 1, length, stdout) == length;
        m_file.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(length));
        return m_file.good();
    }
    bool Close() {
        if (ToStdout()) return std::fflush(stdout) == 0;
        m_file.close();
        return !m_file.fail();
    }
    std::string Name() const { return ToStdout() ? "standard output" : m_path; }

  private:
    std::string m_path;
    std::ofstream m_file;
};

int Checksum(const std::vector<std::string>& files, bool json) {
    int status = kExitOk;
    nlohmann::json records = nlohmann::json::array();
    for (const std::string& file : files) {
        std::string data;
        if (!ReadAll(file, &data)) {
            status = Fail(NameOf(file), "cannot read: " + SystemCause());
            continue;
        }
        const uint32_t crc = BlockChecksum(data);
        char hex[9];
        std::snprintf(hex, sizeof hex, "%08x", crc);
        if (json) {
            records.push_back({{"file", file}, {"size", data.size()}, {"crc32", hex}});
        } else {
            std::printf("%s  %zu  %s\n", hex, data.size(), file.c_str());
        }
    }
    if (json) PrintJson(records);
    return status;
}

int Pack(const std::string& input, const std::string& outputPath, bool verbose) {
    std::string data;
    if (!ReadAll(input, &data)) return Fail(NameOf(input), "cannot read: " + SystemCause());
    Output out(outputPath);
    if (!out.Open()) return Fail(out.Name(), "cannot create: " + SystemCause());
    size_t written = 0;
    for (size_t at = 0; at < data.size(); at += kPiece) {
        const std::string piece = data.substr(at, kPiece);
        std::string packed;
        if (!PackBlock(piece, &packed)) return Fail(NameOf(input), "the compressor refused it");
        if (!out.Write(packed.data(), packed.size()))
            return Fail(out.Name(), "cannot write: " + SystemCause());
        written += packed.size();
    }
    if (!out.Close()) return Fail(out.Name(), "cannot write: " + SystemCause());
    if (verbose) std::fprintf(stderr, "packed %zu bytes into %zu\n", data.size(), written);
    return kExitOk;
}

int Unpack(const std::string& input, const std::string& outputPath, bool verbose) {
    std::string data;
    if (!ReadAll(input, &data)) return Fail(NameOf(input), "cannot read: " + SystemCause());
    std::string damage;
    if (!CheckPackedTokens(data, &damage)) return Fail(NameOf(input), damage);
    Output out(outputPath);
    if (!out.Open()) return Fail(out.Name(), "cannot create: " + SystemCause());
    size_t written = 0;
    for (size_t at = 0; at < data.size();) {
        const size_t length = TokenPieceLength(data, at, kPiece);
        std::string plain;
        if (!UnpackBlock(data.substr(at, length), &plain))
            return Fail(NameOf(input),
                        "damaged: a block at byte " + std::to_string(at) + " expands to nothing");
        if (!out.Write(plain.data(), plain.size()))
            return Fail(out.Name(), "cannot write: " + SystemCause());
        written += plain.size();
        at += length;
    }
    if (!out.Close()) return Fail(out.Name(), "cannot write: " + SystemCause());
    if (verbose) std::fprintf(stderr, "unpacked %zu bytes into %zu\n", data.size(), written);
    return kExitOk;
}

void AddStreamOptions(CLI::App* cmd, std::shared_ptr<std::string> input,
                      std::shared_ptr<std::string> output, std::shared_ptr<bool> verbose) {
    cmd->add_option("input", *input, "file to read ('-' or none: standard input)");
    cmd->add_option("-o,--output", *output, "file to write ('-' or none: standard output)");
    cmd->add_flag("-v,--verbose", *verbose, "report the sizes on standard error");
}

}  // namespace

void AddDataCommands(CLI::App& app) {
    CLI::App* checksum = app.add_subcommand("checksum", "the block checksum (CRC-32) of files");
    auto files = std::make_shared<std::vector<std::string>>();
    auto json = std::make_shared<bool>(false);
    checksum->add_option("file", *files, "files ('-': standard input)")->required();
    checksum->add_flag("--json", *json, "one JSON document: file, size, crc32");
    OnRun(checksum, [=] { return Checksum(*files, *json); });

    const struct {
        const char* name;
        const char* help;
        int (*run)(const std::string&, const std::string&, bool);
    } kStreams[] = {
        {"pack", "compress with the byte-run format of stored blocks", Pack},
        {"unpack", "expand byte-run compressed data (damaged input is refused)", Unpack},
    };
    for (const auto& s : kStreams) {
        CLI::App* cmd = app.add_subcommand(s.name, s.help);
        auto input = std::make_shared<std::string>("-");
        auto output = std::make_shared<std::string>("-");
        auto verbose = std::make_shared<bool>(false);
        AddStreamOptions(cmd, input, output, verbose);
        auto run = s.run;
        OnRun(cmd, [=] { return run(*input, *output, *verbose); });
    }
}

}  // namespace mvtool
