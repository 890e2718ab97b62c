// The main window's logic after start-up and its first showing, on the fake platform.
#pragma once

#include <string>
#include <string_view>

#include "app/frmTalpor.h"
#include "support/FakePlatform.h"

namespace testing_support {

struct Started {
    FakePlatform platform;
    app::frmTalpor window{platform};
    Started() { window.Form_Load(); window.Activate(); }
    form::Control& Get(std::string_view name, int index = -1) {
        return window.Form().Get(name, index);
    }
    std::string& Text(std::string_view name, int index = -1) { return Get(name, index).text; }
};

}  // namespace testing_support
