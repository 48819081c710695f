// mvbasics registry list|get|set|delete|export|import: the registry database's keys and
// typed values, below HKEY_LOCAL_MACHINE, without querying SQLite tables by hand.
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli.h"
#include "commands.h"
#include "reg_access.h"
#include "reg_file.h"

namespace mvtool {
namespace {

int RegFail(const std::string& object, const RegFailure& failure) {
    return Fail(object, failure.cause);
}

nlohmann::json ValueJson(const RegValue& v) {
    nlohmann::json data;
    if ((v.type == kTypeSz || v.type == kTypeExpandSz) && v.data.find('\0') == std::string::npos) {
        data = v.data;
    } else if (v.type == kTypeDword && v.data.size() == 4) {
        data = static_cast<uint32_t>(
            static_cast<unsigned char>(v.data[0]) | static_cast<unsigned char>(v.data[1]) << 8 |
            static_cast<unsigned char>(v.data[2]) << 16 |
            static_cast<uint32_t>(static_cast<unsigned char>(v.data[3])) << 24);
    } else {
        data = DisplayData(v);  // hex
    }
    return {{"name", v.name}, {"type", TypeName(v.type)}, {"data", data}};
}

// Reads the key and, with recursive, every key below it, in pre-order.
bool Walk(const std::string& path, bool recursive, std::vector<RegKeyContents>* keys,
          RegFailure* failure, std::string* failedKey) {
    RegKeyContents key;
    if (!ReadKey(path, &key, failure)) return *failedKey = path, false;
    keys->push_back(key);
    if (!recursive) return true;
    for (const std::string& sub : key.subkeys) {
        if (!Walk(path.empty() ? sub : path + "\\" + sub, true, keys, failure, failedKey))
            return false;
    }
    return true;
}

int List(const std::string& keyArg, bool recursive, bool json) {
    std::vector<RegKeyContents> keys;
    RegFailure failure;
    std::string failed;
    if (!Walk(NormalizeKeyPath(keyArg), recursive, &keys, &failure, &failed))
        return RegFail(FullKeyName(failed), failure);
    nlohmann::json doc = nlohmann::json::array();
    for (const RegKeyContents& key : keys) {
        if (json) {
            nlohmann::json values = nlohmann::json::array();
            for (const RegValue& v : key.values) values.push_back(ValueJson(v));
            doc.push_back(
                {{"key", FullKeyName(key.path)}, {"values", values}, {"subkeys", key.subkeys}});
            continue;
        }
        std::printf("%s\n", FullKeyName(key.path).c_str());
        for (const RegValue& v : key.values)
            std::printf("    %s    %s    %s\n", v.name.empty() ? "(Default)" : v.name.c_str(),
                        TypeName(v.type).c_str(), DisplayData(v).c_str());
        if (!recursive) {
            for (const std::string& sub : key.subkeys) std::printf("    %s\\\n", sub.c_str());
        }
        std::printf("\n");
    }
    if (json) PrintJson(doc);
    return kExitOk;
}

int Get(const std::string& keyArg, const std::string& name, bool json) {
    const std::string path = NormalizeKeyPath(keyArg);
    RegValue value;
    RegFailure failure;
    if (!ReadValue(path, name, &value, &failure))
        return RegFail(FullKeyName(path) + " value '" + name + "'", failure);
    if (json) {
        PrintJson(ValueJson(value));
    } else {
        std::printf("%s\n", DisplayData(value).c_str());
    }
    return kExitOk;
}

// The stored bytes of data given on the command line for a type.
bool EncodeData(const std::string& type, const std::vector<std::string>& words, RegValue* v,
                std::string* why) {
    auto one = [&]() -> const std::string& { return words.front(); };
    if ((type != "multi_sz" && words.size() != 1)) return *why = "takes one data word", false;
    if (type == "sz" || type == "expand_sz") {
        v->type = type == "sz" ? kTypeSz : kTypeExpandSz;
        v->data = one();
    } else if (type == "multi_sz") {
        v->type = kTypeMultiSz;
        for (const std::string& w : words) v->data += w + '\0';
        v->data += '\0';
    } else if (type == "dword" || type == "qword") {
        errno = 0;
        char* end = nullptr;
        const unsigned long long n = std::strtoull(one().c_str(), &end, 0);
        const int bytes = type == "dword" ? 4 : 8;
        if (one().empty() || *end != '\0' || errno != 0 || one()[0] == '-' ||
            (bytes == 4 && n > 0xFFFFFFFFull))
            return *why = "'" + one() + "' is not a " + type + " number", false;
        v->type = bytes == 4 ? kTypeDword : kTypeQword;
        for (int i = 0; i < bytes; ++i) v->data += static_cast<char>((n >> (8 * i)) & 0xFF);
    } else {  // binary or none: hex digits, optionally separated by commas
        v->type = type == "binary" ? kTypeBinary : kTypeNone;
        std::string digits;
        for (char c : one()) {
            if (c != ',') digits += c;
        }
        if (digits.size() % 2 != 0 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return *why = "'" + one() + "' is not hex bytes", false;
        for (size_t i = 0; i < digits.size(); i += 2)
            v->data += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    }
    return true;
}

int Set(const std::string& keyArg, const std::string& name, const std::vector<std::string>& data,
        const std::string& type) {
    const std::string path = NormalizeKeyPath(keyArg);
    RegValue value;
    value.name = name;
    std::string why;
    if (!EncodeData(type, data, &value, &why)) return UsageError("data for --type " + type, why);
    RegFailure failure;
    if (!WriteValue(path, value, &failure))
        return RegFail(FullKeyName(path) + " value '" + name + "'", failure);
    return kExitOk;
}

int Delete(const std::string& keyArg, const std::string& name, bool wholeKey) {
    const std::string path = NormalizeKeyPath(keyArg);
    RegFailure failure;
    if (wholeKey == !name.empty())
        return UsageError("registry delete", "give either a value name or --key");
    if (wholeKey) {
        if (path.empty()) return UsageError(FullKeyName(path), "the root key cannot be deleted");
        return DeleteKey(path, &failure) ? kExitOk : RegFail(FullKeyName(path), failure);
    }
    return DeleteValue(path, name, &failure)
               ? kExitOk
               : RegFail(FullKeyName(path) + " value '" + name + "'", failure);
}

int Export(const std::string& keyArg, const std::string& output) {
    std::vector<RegKeyContents> keys;
    RegFailure failure;
    std::string failed;
    if (!Walk(NormalizeKeyPath(keyArg), true, &keys, &failure, &failed))
        return RegFail(FullKeyName(failed), failure);
    std::string text = std::string(kRegFileHeader) + "\n\n";
    for (const RegKeyContents& key : keys) {
        std::string section, why;
        if (!FormatKeySection(key, &section, &why)) return Fail(FullKeyName(key.path), why);
        text += section;
    }
    if (output.empty() || output == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return kExitOk;
    }
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !(out.flush())) return Fail(output, "cannot write: " + SystemCause());
    return kExitOk;
}

int Import(const std::string& input) {
    std::string text;
    const std::string name = input == "-" ? "standard input" : input;
    if (input == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream in(input, std::ios::binary);
        if (!in) return Fail(input, "cannot read: " + SystemCause());
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<RegFileOp> ops;
    std::string error;
    if (!ParseRegFile(text, &ops, &error)) return Fail(name, error + " (nothing imported)");
    for (const RegFileOp& op : ops) {
        RegFailure failure;
        bool ok = true;
        switch (op.kind) {
            case RegFileOp::kCreateKey:
                ok = CreateKey(op.path, &failure);
                break;
            case RegFileOp::kDeleteKey:
                ok = DeleteKey(op.path, &failure) || failure.status == 2;  // already gone
                break;
            case RegFileOp::kSetValue:
                ok = WriteValue(op.path, op.value, &failure);
                break;
            case RegFileOp::kDeleteValue:
                ok = DeleteValue(op.path, op.value.name, &failure) || failure.status == 2;
                break;
        }
        if (!ok) return RegFail(name + ": " + FullKeyName(op.path), failure);
    }
    return kExitOk;
}

void AddReadCommands(CLI::App* reg) {
    CLI::App* list = reg->add_subcommand("list", "a key's values and subkeys");
    auto key = std::make_shared<std::string>();
    auto recursive = std::make_shared<bool>(false);
    auto json = std::make_shared<bool>(false);
    list->add_option("key", *key, "key path, e.g. SOFTWARE\\Ardwyn\\Merivane (default: the root)");
    list->add_flag("-r,--recursive", *recursive, "every key below it too");
    list->add_flag("--json", *json, "one JSON document: keys with values and subkeys");
    OnRun(list, [=] { return List(*key, *recursive, *json); });

    CLI::App* get = reg->add_subcommand("get", "one value's data");
    auto getKey = std::make_shared<std::string>();
    auto getName = std::make_shared<std::string>();
    auto getJson = std::make_shared<bool>(false);
    get->add_option("key", *getKey, "key path")->required();
    get->add_option("value", *getName, "value name ('' is the default value)")->required();
    get->add_flag("--json", *getJson, "one JSON object: name, type, data");
    OnRun(get, [=] { return Get(*getKey, *getName, *getJson); });

    CLI::App* exp = reg->add_subcommand("export", "a key and everything below it as text");
    auto expKey = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>("-");
    exp->add_option("key", *expKey, "key path (default: the whole registry)");
    exp->add_option("-o,--output", *output, "file to write ('-': standard output)");
    OnRun(exp, [=] { return Export(*expKey, *output); });
}

void AddWriteCommands(CLI::App* reg) {
    CLI::App* set = reg->add_subcommand("set", "create or replace a value (keys are created)");
    auto key = std::make_shared<std::string>();
    auto name = std::make_shared<std::string>();
    auto data = std::make_shared<std::vector<std::string>>();
    auto type = std::make_shared<std::string>("sz");
    set->add_option("key", *key, "key path")->required();
    set->add_option("value", *name, "value name ('' is the default value)")->required();
    set->add_option("data", *data, "the data; several words for multi_sz")->required();
    set->add_option("-t,--type", *type, "sz, expand_sz, multi_sz, dword, qword, binary, none")
        ->capture_default_str()
        ->check(CLI::IsMember({"sz", "expand_sz", "multi_sz", "dword", "qword", "binary", "none"}));
    OnRun(set, [=] { return Set(*key, *name, *data, *type); });

    CLI::App* del = reg->add_subcommand("delete", "delete a value, or a key with --key");
    auto delKey = std::make_shared<std::string>();
    auto delName = std::make_shared<std::string>();
    auto whole = std::make_shared<bool>(false);
    del->add_option("key", *delKey, "key path")->required();
    del->add_option("value", *delName, "value name");
    del->add_flag("--key", *whole, "delete the key itself with everything below it");
    OnRun(del, [=] { return Delete(*delKey, *delName, *whole); });

    CLI::App* imp = reg->add_subcommand("import", "apply an export file (checked whole first)");
    auto input = std::make_shared<std::string>();
    imp->add_option("file", *input, "export file ('-': standard input)")->required();
    OnRun(imp, [=] { return Import(*input); });
}

}  // namespace

void AddRegistryCommand(CLI::App& app) {
    CLI::App* reg = app.add_subcommand(
        "registry", "the registry database (MERIVANE_REGISTRY): keys and typed values");
    AddReadCommands(reg);
    AddWriteCommands(reg);
}

}  // namespace mvtool
