// The About text of this effect.
#include "EffectAbout.h"

#include "EffectIdentity.h"

AboutValues EffectAboutValues()
{
    return AboutValues{EFFECT_NAME, EFFECT_VERSION_TEXT, EFFECT_DESCRIPTION, MAKER_NAME, SUPPORT_URL, RELEASE_YEAR};
}

void WriteAboutText(char* buffer, std::size_t capacity)
{
    FormatAboutText(buffer, capacity, EffectAboutValues());
}
