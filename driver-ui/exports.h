// Marks the entry points KLM71ui exports; everything else stays hidden.
#pragma once

#define KLM71_EXPORT extern "C" __attribute__((visibility("default")))
