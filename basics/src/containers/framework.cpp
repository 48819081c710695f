// The container framework: parameter, abstract container and iterator with their
// defaults, and the one-entry container.
#include <cstring>

#include "containers.h"
#include "containers/keys.h"
#include "containers/oneentry.h"

// ---------------------------------------------------------------- TnVParameter

TnVParameter::TnVParameter() : startEntry(nullptr), paramFlags(0) {}
TnVParameter::TnVParameter(const TnVParameter& other)
    : startEntry(other.startEntry), paramFlags(0) {}
TnVParameter& TnVParameter::operator=(const TnVParameter& other) {
    startEntry = other.startEntry;
    return *this;
}
TnVParameter::~TnVParameter() {}
uint16_t TnVParameter::GetType() {
    return kType;
}

// ---------------------------------------------------------------- TnVContainer

int TnVContainer::DefaultCopy(TnVContainer* container, void* destination, TnVIterator*, void* key,
                              void*, TnVParameter*) {
    std::memcpy(destination, key, container->elementSize);
    return 0;
}

int TnVContainer::DefaultCompare(TnCompareArgs* args) {
    *args->keyResult = 0;
    *args->orderResult = 0;
    return 0;
}

int TnVContainer::CompareInt64Keys(TnCompareArgs* args) {
    const int order = mvb::containers::CompareInt64(mvb::containers::Int64KeyAt(args->probeKey),
                                                    mvb::containers::Int64KeyAt(args->element));
    *args->keyResult = order;
    *args->orderResult = order;
    return 0;
}

void* TnVContainer::DefaultKey(TnVContainer*, void* element, int* result, TnVParameter*) {
    *result = 0;
    return element;
}

void* TnVContainer::DefaultDat(TnVContainer*, void*, int* result, TnVParameter*) {
    *result = ERR_TN_NO_DAT;
    return nullptr;
}

uint32_t TnVContainer::DefaultFlags(TnVContainer*, void*, int* result, TnVParameter*) {
    *result = 0;
    return 1;
}

TnVContainer::TnVContainer(uint32_t elementSize, uint16_t flags)
    : count(0),
      elementSize(elementSize),
      flags(flags),
      copyFunc(DefaultCopy),
      destroyFunc(nullptr),
      compareFunc(DefaultCompare),
      keyFunc(DefaultKey),
      datFunc(DefaultDat),
      flagsFunc(DefaultFlags) {}

TnVContainer::TnVContainer(const TnVContainer& other)
    : count(other.count),
      elementSize(other.elementSize),
      flags(other.flags),
      copyFunc(other.copyFunc),
      destroyFunc(other.destroyFunc),
      compareFunc(other.compareFunc),
      keyFunc(other.keyFunc),
      datFunc(other.datFunc),
      flagsFunc(other.flagsFunc) {}

TnVContainer::~TnVContainer() {}
TnVContainer* TnVContainer::Clone(TnVContainer*) {
    return nullptr;
}
uint16_t TnVContainer::GetType() {
    return kType;
}
int TnVContainer::Clear(TnTransactionContext*, uint32_t*, TnVContainer*) {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVContainer::ClearPending(TnTransactionContext*) {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVContainer::SearchElement(TnVIterator*, TnVParameter*, uint16_t, TnVParameter*,
                                TnVIterator*) {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVContainer::InsertElement(TnVIterator*, TnVParameter*, uint16_t, TnVParameter*) {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVContainer::DeleteElement(TnVIterator*, TnVParameter*, uint16_t, TnVParameter*) {
    return ERR_TN_NOT_IMPLEMENTED;
}
void* TnVContainer::GetElementOfEntry(void* entry) {
    return entry;
}
TnVIterator* TnVContainer::CreateIterator(TnTransactionContext*) {
    return nullptr;
}

// ---------------------------------------------------------------- TnVIterator

TnVIterator::TnVIterator(TnTransactionContext* context)
    : container(nullptr), context(context), state(ERR_TN_DETACHED) {}

TnVIterator::TnVIterator(TnTransactionContext* context, TnVContainer* container)
    : container(container),
      context(context),
      state(container != nullptr ? ERR_TN_BEFORE_FIRST : ERR_TN_DETACHED) {}

TnVIterator::TnVIterator(const TnVIterator& other)
    : container(other.container), context(other.context), state(other.state) {}

TnVIterator& TnVIterator::operator=(const TnVIterator& other) {
    container = other.container;
    context = other.context;
    state = other.state;
    return *this;
}

TnVIterator& TnVIterator::operator=(TnVContainer* newContainer) {
    SetContainer(newContainer);
    return *this;
}

void TnVIterator::SetContainer(TnVContainer* newContainer) {
    container = newContainer;
    state = newContainer != nullptr ? ERR_TN_BEFORE_FIRST : ERR_TN_DETACHED;
}

TnVIterator::~TnVIterator() {}
uint16_t TnVIterator::GetType() {
    return kType;
}
TnVIterator* TnVIterator::Clone(TnVIterator*) {
    return nullptr;
}
int TnVIterator::First() {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVIterator::Next() {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVIterator::Prior() {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVIterator::Last() {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVIterator::SearchElement(TnVIterator*, TnVParameter*, uint16_t, TnVParameter*) {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVIterator::InsertElement(TnVIterator*, TnVParameter*, uint16_t, TnVParameter*) {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVIterator::UpdateElement(TnVIterator*, TnVParameter*, uint16_t, TnVParameter*) {
    return ERR_TN_NOT_IMPLEMENTED;
}
int TnVIterator::DeleteElement(uint16_t, TnVParameter*) {
    return ERR_TN_NOT_IMPLEMENTED;
}

void TnVIterator::Destroy() {
    container = nullptr;
    state = ERR_TN_DETACHED;
}

void* TnVIterator::GetEntry(int* result, TnVParameter*) {
    *result = ERR_TN_NOT_IMPLEMENTED;
    return nullptr;
}

int TnVIterator::GetEntryParts(void* entry, void** element, void** key, void** dat,
                               uint32_t* flagsOut, TnVParameter* param) {
    if (container == nullptr ||
        (element == nullptr && key == nullptr && dat == nullptr && flagsOut == nullptr)) {
        return 0;
    }
    void* e = container->GetElementOfEntry(entry);
    if (element != nullptr) {
        if (e == nullptr) return ERR_TN_NOT_IMPLEMENTED;
        *element = e;
    }
    if (e == nullptr) return 0;
    int rc = 0;
    if (key != nullptr) {
        if (container->keyFunc == nullptr) return ERR_TN_NOT_IMPLEMENTED;
        *key = container->keyFunc(container, e, &rc, param);
        if (rc < 0) return rc;
    }
    if (flagsOut != nullptr) {
        if (container->flagsFunc == nullptr) return ERR_TN_NOT_IMPLEMENTED;
        *flagsOut = container->flagsFunc(container, e, &rc, param);
        if (rc < 0) return rc;
    }
    if (dat != nullptr) {
        if (container->datFunc == nullptr) return ERR_TN_NOT_IMPLEMENTED;
        *dat = container->datFunc(container, e, &rc, param);
        return rc;
    }
    return 0;
}

void* TnVIterator::GetElement(int* result, TnVParameter* param) {
    void* entry = GetEntry(result, param);
    if (entry == nullptr || container == nullptr) return nullptr;
    void* e = container->GetElementOfEntry(entry);
    if (e == nullptr) *result = ERR_TN_NOT_IMPLEMENTED;
    return e;
}

void* TnVIterator::GetKey(int* result, TnVParameter* param) {
    void* e = GetElement(result, param);
    if (e == nullptr) return nullptr;
    if (container->keyFunc == nullptr) {
        *result = ERR_TN_NOT_IMPLEMENTED;
        return nullptr;
    }
    return container->keyFunc(container, e, result, param);
}

void* TnVIterator::GetDat(int* result, TnVParameter* param) {
    void* e = GetElement(result, param);
    if (e == nullptr) return nullptr;
    if (container->datFunc == nullptr) {
        *result = ERR_TN_NOT_IMPLEMENTED;
        return nullptr;
    }
    return container->datFunc(container, e, result, param);
}

uint32_t TnVIterator::GetFlags(int* result, TnVParameter* param) {
    void* e = GetElement(result, param);
    if (e == nullptr) return 0;
    if (container->flagsFunc == nullptr) {
        *result = ERR_TN_NOT_IMPLEMENTED;
        return 0;
    }
    return container->flagsFunc(container, e, result, param);
}

int TnVIterator::CompareElement(TnVIterator* other, TnVParameter* otherParam, int* keyResult,
                                int* orderResult, TnVParameter* param) {
    if (state < 0) return state;
    if (other->state < 0) return other->state;
    int rc = 0;
    void* key = other->GetKey(&rc, otherParam);
    if (rc < 0) return rc;
    void* dat = other->GetDat(&rc, otherParam);
    if (rc == ERR_TN_NO_DAT) {
        rc = 0;
        dat = nullptr;
    }
    if (rc < 0) return rc;
    void* element = GetElement(&rc, param);
    if (rc < 0) return rc;
    if (container == nullptr || container->compareFunc == nullptr) return ERR_TN_NOT_IMPLEMENTED;
    TnCompareArgs args = {container, keyResult, orderResult, other, key, dat, element, param};
    rc = container->compareFunc(&args);
    *keyResult = -*keyResult;
    *orderResult = -*orderResult;
    return rc;
}

// ---------------------------------------------------------------- one-entry container

namespace {
TnOneEntryContainer* AsOne(TnVContainer* c) {
    return static_cast<TnOneEntryContainer*>(c);
}

uint32_t OneFlags(TnVContainer* c, void*, int* result, TnVParameter*) {
    *result = 0;
    return AsOne(c)->entryFlags;
}
}  // namespace

void* mvb::containers::OneKey(TnVContainer* c, void*, int* result, TnVParameter*) {
    *result = 0;
    return AsOne(c)->entry;
}

void* mvb::containers::OneDat(TnVContainer* c, void*, int* result, TnVParameter*) {
    void* dat = AsOne(c)->entryDat;
    *result = dat != nullptr ? 0 : ERR_TN_NO_DAT;
    return dat;
}

TnOneEntryContainer::TnOneEntryContainer(void* entry, uint32_t entrySize, void* dat,
                                         uint32_t entryFlags)
    : TnVContainer(entrySize, 0), entry(entry), entryDat(dat), entryFlags(entryFlags) {
    count = entry != nullptr ? 1 : 0;
    SetFunctions();
}

TnOneEntryContainer::~TnOneEntryContainer() {}

void TnOneEntryContainer::SetFunctions() {
    keyFunc = mvb::containers::OneKey;
    datFunc = mvb::containers::OneDat;
    flagsFunc = OneFlags;
}

uint16_t TnOneEntryContainer::GetType() {
    return kType;
}

int TnOneEntryContainer::SearchElement(TnVIterator*, TnVParameter*, uint16_t, TnVParameter*,
                                       TnVIterator* result) {
    if (result != nullptr) result->state = ERR_TN_AFTER_LAST;
    return ERR_TN_NOT_FOUND;
}

TnOneEntryIterator::TnOneEntryIterator(TnOneEntryContainer* one, TnTransactionContext* context)
    : TnVIterator(context, one) {
    if (one != nullptr && one->entry != nullptr) state = 0;
}

TnOneEntryIterator::~TnOneEntryIterator() {}
uint16_t TnOneEntryIterator::GetType() {
    return kType;
}

int TnOneEntryIterator::First() {
    if (state == ERR_TN_DETACHED) return state;
    state = One()->entry != nullptr ? 0 : ERR_TN_BEFORE_FIRST;
    return state;
}

int TnOneEntryIterator::Last() {
    if (state == ERR_TN_DETACHED) return state;
    state = One()->entry != nullptr ? 0 : ERR_TN_AFTER_LAST;
    return state;
}

int TnOneEntryIterator::Next() {
    // An empty container has nothing to step onto: the walk ends at once.
    if (state == ERR_TN_BEFORE_FIRST) {
        state = One()->entry != nullptr ? 0 : ERR_TN_AFTER_LAST;
    } else if (state == 0) {
        state = ERR_TN_AFTER_LAST;
    }
    return state;
}

int TnOneEntryIterator::Prior() {
    if (state == ERR_TN_AFTER_LAST) {
        state = One()->entry != nullptr ? 0 : ERR_TN_BEFORE_FIRST;
    } else if (state == 0) {
        state = ERR_TN_BEFORE_FIRST;
    }
    return state;
}

void* TnOneEntryIterator::GetEntry(int* result, TnVParameter*) {
    *result = state;
    return state >= 0 ? One()->entry : nullptr;
}

void* TnOneEntryIterator::GetKey(int* result, TnVParameter* param) {
    return GetEntry(result, param);
}

void* TnOneEntryIterator::GetDat(int* result, TnVParameter*) {
    *result = state;
    if (state < 0) return nullptr;
    if (One()->entryDat == nullptr) *result = ERR_TN_NO_DAT;
    return One()->entryDat;
}
