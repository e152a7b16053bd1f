// The visual-style marker of the window definition. The toolkit always draws
// controls in the desktop's current style, so the marker has nothing to do;
// it keeps its place in the window's list of components.
#pragma once

#include "platform/Classes.h"

namespace k58 {

class TXPManifest : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const noexcept override { return "TXPManifest"; }
};

} // namespace k58
