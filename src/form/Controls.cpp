#include "form/Controls.h"

#include <stdexcept>

namespace form {

std::string ControlId::Text() const {
    return index < 0 ? name : name + "(" + std::to_string(index) + ")";
}

std::string ControlId::ObjectName() const {
    return index < 0 ? name : name + "_" + std::to_string(index);
}

std::string Control::ListText() const {
    if (listIndex < 0 || listIndex >= static_cast<int>(items.size())) return "";
    return items[static_cast<std::size_t>(listIndex)];
}

Control& FormModel::Add(Control control) {
    controls_.push_back(std::make_unique<Control>(std::move(control)));
    return *controls_.back();
}

Control* FormModel::Find(std::string_view name, int index) {
    for (auto& c : controls_)
        if (c->id.index == index && c->id.name == name) return c.get();
    return nullptr;
}

const Control* FormModel::Find(std::string_view name, int index) const {
    return const_cast<FormModel*>(this)->Find(name, index);
}

Control* FormModel::FindByText(std::string_view text) {
    for (auto& c : controls_)
        if (c->id.Text() == text) return c.get();
    return nullptr;
}

Control& FormModel::Get(std::string_view name, int index) {
    if (Control* c = Find(name, index)) return *c;
    throw std::out_of_range("no control " + ControlId{std::string(name), index}.Text());
}

const Control& FormModel::Get(std::string_view name, int index) const {
    return const_cast<FormModel*>(this)->Get(name, index);
}

std::vector<Control*> FormModel::Children(const Control& container) const {
    std::vector<Control*> out;
    std::string key = container.id.Text();
    for (auto& c : controls_)
        if (c->container == key && c.get() != &container) out.push_back(c.get());
    return out;
}

Control* FormModel::Container(const Control& control) {
    return control.container.empty() ? nullptr : FindByText(control.container);
}

bool FormModel::IsUsable(const Control& control) {
    for (const Control* c = &control; c != nullptr; c = Container(*c))
        if (!c->enabled) return false;
    return true;
}

bool FormModel::SelectOption(Control& option) {
    if (option.value) return false;
    for (auto& c : controls_)
        if (c->kind == Kind::OptionButton && c->container == option.container) c->value = false;
    option.value = true;
    if (onOptionClick) onOptionClick(option);
    return true;
}

std::string ShownToolTip(const Control& control) {
    if (!control.stale) return control.toolTip;
    return control.tab == 2 ? "Resultado de los datos anteriores: pulse su botón para calcularlo de nuevo"
                            : "Resultado del punto anterior: pulse un método para convertir el punto escrito";
}

}  // namespace form
