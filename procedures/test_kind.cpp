#include "test_kind.h"

std::string_view TestCaption(TestKind test)
{
    switch (test) {
    case TestKind::Direct:
        return "DF --> Normal (RGB)";
    case TestKind::LineMode:
        return "DF --> Binary";
    case TestKind::Driver:
        return "DF --> DLL (RGB)";
    }
    return {};
}
