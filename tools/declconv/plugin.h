// What the host driver asks of a plug-in object, whichever way it is reached:
// the engine directly, or the COM server through its vtable or IDispatch.
#pragma once

#include <memory>
#include <string>

#include "declshift.h"

namespace declconv {

// One plug-in object. Text arguments passed by reference may be changed by the call.
class PlugIn {
public:
    virtual ~PlugIn() = default;
    virtual void PutOptions(const declshift::Options& options) = 0;
    virtual std::u16string GetConst(std::u16string& name, std::u16string& data) = 0;
    virtual bool StartsWith(std::u16string& src, std::u16string& contains) = 0;
    // Structure and enumeration texts are passed by value; the sample takes nothing.
    virtual std::u16string GetType(std::u16string name, std::u16string data) = 0;
    virtual std::u16string GetEnum(std::u16string name, std::u16string data) = 0;
    virtual std::u16string Preview() = 0;
    // Procedure and function declarations.
    virtual std::u16string GetSub(std::u16string& name, std::u16string& data) = 0;
    virtual std::u16string GetFunc(std::u16string& name, std::u16string& data) = 0;
};

// Makes fresh plug-in objects: every request runs on a new one.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::unique_ptr<PlugIn> NewObject() = 0;
};

std::unique_ptr<Backend> MakeNativeBackend();

}  // namespace declconv
