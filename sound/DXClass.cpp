#include "sound/DXClass.h"

#include "platform/DynamicLibrary.h"
#include "sound/SoundStrings.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace k58 {

void TDirectX::SetLastResult(HRESULT value) {
    mLastResult = value;
    if (value != 0)
        CheckResult();
}

namespace {

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The modules loaded so far, by lower-cased file name. Freed when the
// program ends.
class ModuleCache {
public:
    ~ModuleCache() {
        for (auto it = mModules.rbegin(); it != mModules.rend(); ++it)
            FreeLibrary(it->second);
    }
    HMODULE Module(const std::string& fileName) {
        const std::string key = LowerCase(fileName);
        for (const auto& [name, handle] : mModules)
            if (name == key)
                return handle;
        HMODULE handle = LoadLibrary(fileName);
        if (handle == nullptr)
            throw Exception(Format(strings::SNotLoaded, {fileName}));
        mModules.emplace_back(key, handle);
        return handle;
    }

private:
    std::vector<std::pair<std::string, HMODULE>> mModules;
};

ModuleCache& Modules() {
    static ModuleCache cache;
    return cache;
}

} // namespace

void* LoadDllFunction(const std::string& fileName, const std::string& functionName) {
    HMODULE module = Modules().Module(fileName);
    void* entry = GetProcAddress(module, functionName);
    if (entry == nullptr)
        throw Exception(Format(strings::SNotLoaded, {fileName}));
    return entry;
}

TControlSubClass::TControlSubClass(TControl* control, THandler handler)
    : mControl(control),
      mState(std::make_shared<State>(State{std::move(handler), control->WindowProc})) {
    control->WindowProc = [state = mState](TMessage& message) {
        // Keep the state alive in this frame: the handler may free the hook,
        // which replaces this very entry on the control.
        const std::shared_ptr<State> keep = state;
        keep->handler(message, keep->defaultProc);
    };
}

TControlSubClass::~TControlSubClass() {
    // A control that is itself being destroyed has no handling left to
    // give back.
    if (!mControl->Destroying())
        mControl->WindowProc = mState->defaultProc;
}

int THashCollection::IndexOf(const std::string& name) const {
    const std::string key = LowerCase(name);
    for (int i = 0; i < Count(); ++i) {
        const auto* item = static_cast<const THashCollectionItem*>(Items(i));
        if (LowerCase(item->Name()) == key)
            return i;
    }
    return -1;
}

THashCollectionItem* THashCollection::Find(const std::string& name) const {
    const int index = IndexOf(name);
    return index < 0 ? nullptr : static_cast<THashCollectionItem*>(Items(index));
}

} // namespace k58
