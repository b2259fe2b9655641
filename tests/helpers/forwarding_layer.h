// A system layer that passes every call on to another one: a test
// derives from it and overrides only the calls it changes, or watches
// every call in Before.
#pragma once

#include <string>
#include <string_view>

#include "support/native_calls.h"
#include "support/native_layer.h"

namespace quenrix::test {

class ForwardingLayer : public native::Layer {
  public:
    // The layer's types, as its list of calls names them.
    using Handle = native::Handle;
    using Links = native::Links;
    using OpenAs = native::OpenAs;
    using Lookup = native::Lookup;
    using EntryInfo = native::EntryInfo;
    using FolderEntry = native::FolderEntry;

    explicit ForwardingLayer(native::Layer& next) : next_(next) {}

#define QUENRIX_FORWARD_CALL(result, answer, name, parameters, arguments, path) \
    result name parameters override {                                           \
        Before(#name, path);                                                    \
        return next_.name arguments;                                            \
    }
    QUENRIX_NATIVE_CALLS(QUENRIX_FORWARD_CALL)
#undef QUENRIX_FORWARD_CALL

  protected:
    // Called before each call is passed on: its name and the path it names
    // (a rename's target; empty for a call on an open file).
    virtual void Before(const char* call, std::string_view path) {
        (void)call;
        (void)path;
    }
    // The path Before is told for `name` in an opened folder: the name
    // alone, unless the layer knows where its folders are.
    virtual std::string AtPath(Handle folder, const std::string& name) {
        (void)folder;
        return name;
    }

    native::Layer& next_;
};

// Puts a layer in place for the life of this object.
class LayerInPlace {
  public:
    explicit LayerInPlace(native::Layer& layer) : before_(native::UseLayer(&layer)) {}
    ~LayerInPlace() { native::UseLayer(before_ == &native::SystemLayer() ? nullptr : before_); }
    LayerInPlace(const LayerInPlace&) = delete;
    LayerInPlace& operator=(const LayerInPlace&) = delete;

  private:
    native::Layer* before_;
};

}  // namespace quenrix::test
