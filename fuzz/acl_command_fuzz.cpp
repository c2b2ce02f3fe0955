// The ACL engine's command text: tokenizer, argument parser and the
// registry object name, on arbitrary input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "permissions/acl_command.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> elements;
    if (!SplitAclCommandText(text, elements)) {
        if (!elements.empty()) __builtin_trap();  // refused means nothing handed on
        return 0;
    }
    // The vector stays within its bounds whatever the text.
    if (elements.empty() || elements.size() > kMaxAclElements) __builtin_trap();
    for (const auto& element : elements) {
        if (element.size() > kMaxAclElementLength) __builtin_trap();
    }
    AclCommand command;
    std::string error;
    if (ParseAclArguments(elements, command, error)) {
        if (command.objectType == AclObjectType::Registry) RegistryObjectName(command.objectName);
    } else if (error.empty()) {
        __builtin_trap();  // a refusal always says why
    }
    RegistryObjectName(text);
    return 0;
}
