// The backend that calls the conversion engine directly.
#include <utility>

#include "plugin.h"

namespace declconv {
namespace {

class NativePlugIn final : public PlugIn {
public:
    void PutOptions(const declshift::Options& options) override { options_ = options; }
    std::u16string GetConst(std::u16string& name, std::u16string& data) override {
        return declshift::GetConst(options_, name, data);
    }
    bool StartsWith(std::u16string& src, std::u16string& contains) override {
        return declshift::StartsWith(src, contains);
    }
    std::u16string GetType(std::u16string name, std::u16string data) override {
        return declshift::GetType(options_, std::move(name), std::move(data));
    }
    std::u16string GetEnum(std::u16string name, std::u16string data) override {
        return declshift::GetEnum(options_, std::move(name), std::move(data));
    }
    std::u16string Preview() override { return declshift::Preview(options_); }
    std::u16string GetSub(std::u16string& name, std::u16string& data) override {
        return declshift::GetSub(options_, name, data);
    }
    std::u16string GetFunc(std::u16string& name, std::u16string& data) override {
        return declshift::GetFunc(options_, name, data);
    }

private:
    declshift::Options options_;
};

class NativeBackend final : public Backend {
public:
    std::unique_ptr<PlugIn> NewObject() override { return std::make_unique<NativePlugIn>(); }
};

}  // namespace

std::unique_ptr<Backend> MakeNativeBackend() { return std::make_unique<NativeBackend>(); }

}  // namespace declconv
