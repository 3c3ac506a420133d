#include "shell/apireference.h"

#include "shell/classlist.h"

namespace kavo {

namespace {

const char* TypeName(TPropType t) {
  switch (t) {
    case TPropType::Integer: return "integer";
    case TPropType::Byte: return "byte (0 to 255)";
    case TPropType::Single: return "single";
    case TPropType::Double: return "double";
    case TPropType::Boolean: return "boolean (reads \"True\" or \"False\")";
    case TPropType::LongString: return "string";
    case TPropType::UTF8String: return "UTF-8 string";
    case TPropType::ShortString: return "short string (255 characters)";
  }
  return "?";
}

std::string Arguments(const TScriptMethod& m) {
  if (!m.bound) return m.argsText;
  std::string out;
  for (size_t i = 0; i < m.params.size(); ++i) out += (i ? ", " : "") + m.params[i];
  return out;
}

std::string Chain(const TScriptClassInfo& info) {
  std::string out;
  for (const TScriptClassInfo* c = info.Parent(); c; c = c->Parent()) out += (out.empty() ? "" : " < ") + c->ClassName();
  return out;
}

}  // namespace

std::string ApiReference() {
  std::string out =
      "# Kavo script classes\n\n"
      "Written by `kavo --api-reference` from the engine's class tables; the test run checks that this copy is\n"
      "current. Scripts create objects with `T.Create()`, read and write properties (names match without\n"
      "regard to case) and call methods with a dot, `obj.Method(...)` (names keep their case). Arguments in\n"
      "brackets are optional. A method whose arguments fail their checks logs \"Function (Method) requires\n"
      "kind in position argument.\" and does nothing.\n\n";
  out += "| Class | Engine class |\n|---|---|\n";
  for (const TScriptClassEntry& c : ScriptClasses()) out += "| [" + std::string(c.name) + "](#" + c.name + ") | `" +
                                                             c.info().ClassName() + "` |\n";
  for (const TScriptClassEntry& c : ScriptClasses()) {
    const TScriptClassInfo& info = c.info();
    out += "\n## " + std::string(c.name) + "\n\n";
    out += "Engine class `" + info.ClassName() + "`";
    const std::string chain = Chain(info);
    if (!chain.empty()) out += ", derived from " + chain;
    out += ".\n\n";
    const auto props = info.AllProperties();
    if (!props.empty()) {
      out += "| Property | Type | Access |\n|---|---|---|\n";
      for (const TScriptProperty* p : props)
        out += "| `" + p->name + "` | " + TypeName(p->type) + " | " + (p->ReadOnly() ? "read (writes ignored)" : "read, write") +
               " |\n";
      out += "\n";
    }
    const auto& methods = info.ObjectMethods();
    if (!methods.empty()) {
      out += "| Method | Arguments |\n|---|---|\n";
      for (const TScriptMethod* m : methods) {
        const std::string a = Arguments(*m);
        out += "| `" + m->name + "` | " + (a.empty() ? "none" : a) + " |\n";
      }
    }
  }
  return out;
}

}  // namespace kavo
