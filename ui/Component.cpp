#include "ui/Component.h"

#include <windows.h>

#include "repair/Errors.h"

namespace ui {

void RaiseInvalidPropertyValue() {
    repair::Error("EPropertyError", "无效的属性值").Raise();
}

int DesignReader::Integer(const DesignValue& value) {
    if (value.kind != DesignValue::Kind::Integer) RaiseInvalidPropertyValue();
    return value.integer;
}

bool DesignReader::Boolean(const DesignValue& value) {
    const std::string& name = Identifier(value);
    if (name == "True") return true;
    if (name != "False") RaiseInvalidPropertyValue();
    return false;
}

const std::string& DesignReader::Identifier(const DesignValue& value) {
    if (value.kind != DesignValue::Kind::Identifier) RaiseInvalidPropertyValue();
    return value.identifier;
}

std::string DesignReader::Text(const DesignValue& value) {
    if (value.kind != DesignValue::Kind::String) RaiseInvalidPropertyValue();
    const std::u16string& wide = value.string;
    if (wide.empty()) return {};
    const auto* units = reinterpret_cast<const wchar_t*>(wide.data());
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, units, length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, units, length, text.data(), size, nullptr, nullptr);
    return text;
}

TNotifyEvent DesignReader::Handler(const DesignValue& value) const {
    const std::string& name = Identifier(value);
    const auto found = handlers_.find(name);
    if (found == handlers_.end()) repair::Error("EPropertyError", "方法 " + name + " 不存在").Raise();
    return found->second;
}

void TComponent::SetProperty(const std::string& property, const DesignValue&, const DesignReader&) {
    repair::Error("EPropertyError", "属性 " + property + " 不存在").Raise();
}

}  // namespace ui
