// The parts a form is made of from its design: each has a name, a class name and the properties the
// design may give it. The window layer's framework is this small: TForm reads the design and hands each
// property to the component it names.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "ui/Design.h"
#include "ui/Scaling.h"

namespace ui {

class TComponent;

// An event handler; `sender` is the component that raised the event.
using TNotifyEvent = std::function<void(TComponent* sender)>;

// What the components need while the properties of a design are applied: the values read as their
// kinds, the design's texts in the thread's ANSI code page, positions scaled to the screen's font, and
// the form's handlers found by name. Every refusal throws, and the form reports it as a read error.
class DesignReader {
public:
    explicit DesignReader(const std::map<std::string, TNotifyEvent>& handlers) : handlers_(handlers) {}

    static int Integer(const DesignValue& value);
    static bool Boolean(const DesignValue& value);  // True or False
    static const std::string& Identifier(const DesignValue& value);
    // A string of the design converted to the ANSI code page of the thread (CP_THREAD_ACP).
    static std::string Text(const DesignValue& value);

    // A position or size of the design, scaled like every other (see LayoutScale).
    int Position(const DesignValue& value) const { return scale(Integer(value)); }
    TNotifyEvent Handler(const DesignValue& value) const;

    LayoutScale scale;

private:
    const std::map<std::string, TNotifyEvent>& handlers_;
};

// A property value of the wrong kind or outside the values a property takes.
[[noreturn]] void RaiseInvalidPropertyValue();

class TComponent {
public:
    explicit TComponent(std::string name) : name_(std::move(name)) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    virtual const char* ClassName() const = 0;

    // Applies one property of the design; throws for a property or a value the component does not take.
    virtual void SetProperty(const std::string& property, const DesignValue& value,
                             const DesignReader& reader);
    // Called after the last property of the component's design has been applied.
    virtual void Loaded() {}

protected:
    void SetName(std::string name) { name_ = std::move(name); }

private:
    std::string name_;
};

}  // namespace ui
