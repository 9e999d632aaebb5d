#include "tools/tarnu-cli/cli.h"

#include <algorithm>
#include <cstdio>

#include "codec/charset.h"
#include "platform/text_convert.h"

namespace tarnu::cli {

std::string ReadAllInput() {
  std::string data;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) data.append(buffer, n);
  return data;
}

void WriteOutput(std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

void WriteError(std::string_view bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
}

std::string MailOutput(std::string_view utf8, bool raw_cp932) {
  return raw_cp932 ? MailTextToCp932(utf8) : std::string(utf8);
}

std::string FormatField(std::string_view field, bool raw_cp932, TextSource source) {
  std::string text;
  if (source == TextSource::kMail) {
    text = MailOutput(field, raw_cp932);
  } else {
    text = raw_cp932 ? std::string(field) : platform::Cp932ToUtf8(field);
  }
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool ParsedOptions::Has(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

const std::string* ParsedOptions::Get(const std::string& name) const {
  auto it = values.find(name);
  return it == values.end() ? nullptr : &it->second;
}

bool ParseOptions(const std::vector<std::string>& args,
                  const std::vector<std::string>& value_options,
                  const std::vector<std::string>& flag_options, ParsedOptions* parsed,
                  std::string* error) {
  auto listed = [](const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::string name = arg.substr(2);
      if (listed(value_options, name)) {
        if (i + 1 >= args.size()) {
          *error = "option --" + name + " needs a value";
          return false;
        }
        parsed->values[name] = args[++i];
      } else if (listed(flag_options, name)) {
        parsed->flags.push_back(name);
      } else {
        *error = "unknown option " + arg;
        return false;
      }
    } else {
      parsed->positional.push_back(arg);
    }
  }
  return true;
}

int UsageError(const char* verb, std::string_view problem) {
  std::string text;
  if (!problem.empty()) text += "tarnu-cli: " + std::string(problem) + "\n";
  text += "usage:\n";
  for (const Verb& v : AllVerbs()) {
    if (verb == nullptr || std::string_view(verb) == v.name) {
      text += "  tarnu-cli " + std::string(v.name) + " " + v.usage + "\n";
    }
  }
  WriteError(text);
  return kExitUsage;
}

}  // namespace tarnu::cli
