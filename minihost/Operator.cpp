#include "host/Operator.h"

#include "minihost/Internal.h"

#include <stdexcept>

namespace {

minihost::ControlInfo describe(const FuID& name, const FuID& id, const std::string& page,
                               TagList tags) {
    minihost::ControlInfo info;
    info.name = name.c_str();
    info.id = id.c_str();
    info.page = page;
    for (const TagItem& item : tags.items()) {
        if (item.tag == TAG_DataType)
            info.dataType = std::get<FuID>(item.value).c_str();
        else if (item.tag == TAG_ControlKind)
            info.controlKind = std::get<FuID>(item.value).c_str();
        else if (item.tag == TAG_RangeLow)
            info.low = std::get<double>(item.value);
        else if (item.tag == TAG_RangeHigh)
            info.high = std::get<double>(item.value);
        else if (item.tag == TAG_Default)
            info.defaultValue = std::get<double>(item.value);
        else if (item.tag == TAG_ComboEntry)
            info.comboEntries.push_back(std::get<std::string>(item.value));
    }
    info.tags = std::move(tags);
    return info;
}

std::string currentPage(const OperatorRecord& record) {
    return record.pages.empty() ? std::string() : record.pages.back();
}

} // namespace

Operator::Operator(const Registry* reg, const ScriptVal& /*value*/, const TagList& /*tags*/)
    : Object(reg), Record(new OperatorRecord) {}

Operator::~Operator() {
    delete Record;
}

bool Operator::RegInit(Registry* /*reg*/) {
    return true;
}

void Operator::RegCleanup(Registry* /*reg*/) {}

// The stand-in host calls only Process; the other entries keep their place in the table.
void Operator::PostProcess(Request* /*req*/) {}
bool Operator::Process(Request* /*req*/) {
    return false;
}
void Operator::PreCalcPreProcess(Request* /*req*/) {}
void Operator::ProcessGL(Request* /*req*/) {}
void Operator::RegionChanged(Input* /*in*/) {}

// The base handling of a change: the input keeps its new value.
void Operator::NotifyChanged(Input* in, Parameter* param, double /*time*/, TagList* /*tags*/) {
    if (!in || !param)
        return;
    if (const auto* number = dynamic_cast<const Number*>(param))
        in->record()->value.Value = number->Value;
}

int Operator::AddControlPage(const char* name, Tag tag, ...) {
    va_list args;
    va_start(args, tag);
    minihost::detail::VaListEnd end(args);
    TagList::read(tag, args);
    Record->pages.emplace_back(name ? name : "");
    return static_cast<int>(Record->pages.size()) - 1;
}

Input* Operator::AddInput(const FuID& name, const FuID& id, Tag tag, ...) {
    minihost::detail::countControlCreation();
    va_list args;
    va_start(args, tag);
    minihost::detail::VaListEnd end(args);
    auto record = std::make_unique<InputRecord>();
    record->info = describe(name, id, currentPage(*Record), TagList::read(tag, args));
    record->value.Value = record->info.defaultValue.value_or(0.0);
    Record->inputs.push_back(std::move(record));
    return &Record->inputs.back()->handle;
}

Output* Operator::AddOutput(const FuID& name, const FuID& id, Tag tag, ...) {
    minihost::detail::countControlCreation();
    va_list args;
    va_start(args, tag);
    minihost::detail::VaListEnd end(args);
    auto record = std::make_unique<OutputRecord>();
    record->info = describe(name, id, currentPage(*Record), TagList::read(tag, args));
    record->info.isOutput = true;
    Record->outputs.push_back(std::move(record));
    return &Record->outputs.back()->handle;
}

Parameter* Input::GetSource(double /*time*/) {
    return Record->source;
}

namespace minihost {

void OperatorDeleter::operator()(Operator* op) const {
    delete op;
}

OperatorPtr create(const Registry& reg) {
    ObjectFactory factory = reg.factory();
    if (!factory)
        throw std::runtime_error(std::string("class ") + reg.id().c_str() + " has no factory");
    Object* object = factory(&reg, ScriptVal(), TagList());
    if (!object)
        return nullptr;
    auto* op = dynamic_cast<Operator*>(object);
    if (!op) {
        delete object;
        throw std::runtime_error(std::string("class ") + reg.id().c_str() +
                                 " does not make operators");
    }
    return OperatorPtr(op);
}

std::vector<std::string> pages(const Operator& op) {
    return op.record()->pages;
}

std::vector<Input*> inputs(const Operator& op) {
    std::vector<Input*> list;
    for (auto& record : op.record()->inputs)
        list.push_back(&record->handle);
    return list;
}

std::vector<Output*> outputs(const Operator& op) {
    std::vector<Output*> list;
    for (auto& record : op.record()->outputs)
        list.push_back(&record->handle);
    return list;
}

const ControlInfo& info(const Input& in) {
    return in.record()->info;
}
const ControlInfo& info(const Output& out) {
    return out.record()->info;
}

Input* findInput(const Operator& op, std::string_view id) {
    for (auto& record : op.record()->inputs)
        if (record->info.id == id)
            return &record->handle;
    return nullptr;
}

Output* findOutput(const Operator& op, std::string_view id) {
    for (auto& record : op.record()->outputs)
        if (record->info.id == id)
            return &record->handle;
    return nullptr;
}

double value(const Input& in) {
    return in.record()->value.Value;
}

void setValue(Operator& op, Input& in, double newValue, double time) {
    Number param(newValue);
    op.NotifyChanged(&in, &param, time, nullptr);
}

void connect(Input& in, Image* image) {
    in.record()->source = image;
}

} // namespace minihost
