#include "storage/engine/index_hooks.h"

namespace mk::dbase {

namespace {
IndexProvider* g_provider = nullptr;
}

void setIndexProvider(IndexProvider* provider)
{
    g_provider = provider;
}

IndexProvider* indexProvider()
{
    return g_provider;
}

} // namespace mk::dbase
