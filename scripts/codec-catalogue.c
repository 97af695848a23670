/* Writes the codec catalogue (codec.lv) to standard output: the scrambled
 * header item, then one scrambled item "CODE Name" per four-character code
 * that FFmpeg's AVI muxer knows for video, named after FFmpeg's own codec
 * descriptor. Built and run by scripts/make-codec-catalogue. */
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>

#include <ctype.h>
#include <stdio.h>
#include <string.h>

/* The layout of libavformat's tag table entries. It is not in the public
 * headers, so every entry read is checked against av_codec_get_id below. */
struct TagEntry {
    enum AVCodecID id;
    unsigned int tag;
};

/* Each character is written one code higher; the program undoes it. */
static void scramble(const char* in, char* out)
{
    size_t i = 0;
    for (; in[i]; ++i)
        out[i] = (char)(in[i] + 1);
    out[i] = '\0';
}

/* Items end at a comma or line end; an item holding a comma is quoted. */
static void write_item(const char* plain)
{
    char scrambled[512];
    scramble(plain, scrambled);
    if (strchr(scrambled, ','))
        printf("\"%s\"\n", scrambled);
    else
        printf("%s\n", scrambled);
}

/* Printable ASCII that survives scrambling inside an item: '!' would become
 * a quote, and the others would leave ASCII. */
static int usable(int c) { return c >= 0x20 && c < 0x7e && c != '!'; }

int main(void)
{
    const struct AVCodecTag* table = avformat_get_riff_video_tags();
    const struct AVCodecTag* const tables[] = {table, NULL};
    const struct TagEntry* e = (const struct TagEntry*)(const void*)table;
    char seen[1024][5];
    int seen_count = 0;

    write_item("ORNEXA CODEC INFO 9091");
    for (; e->id != AV_CODEC_ID_NONE; ++e) {
        if (av_codec_get_id(tables, e->tag) == AV_CODEC_ID_NONE) {
            fprintf(stderr, "codec-catalogue: tag table layout not understood\n");
            return 1;
        }
        char code[5];
        int ok = 1;
        for (int i = 0; i < 4; ++i) {
            code[i] = (char)((e->tag >> (8 * i)) & 0xff);
            ok = ok && usable((unsigned char)code[i]);
        }
        code[4] = '\0';
        const AVCodecDescriptor* d = avcodec_descriptor_get(e->id);
        if (!ok || !d || !d->long_name || !d->long_name[0])
            continue;
        /* The program compares codes in capitals: keep the first spelling. */
        char upper[5];
        for (int i = 0; i < 5; ++i)
            upper[i] = (char)toupper((unsigned char)code[i]);
        int dup = 0;
        for (int i = 0; i < seen_count && !dup; ++i)
            dup = strcmp(seen[i], upper) == 0;
        if (dup || seen_count == 1024)
            continue;
        memcpy(seen[seen_count++], upper, 5);

        char item[300];
        size_t n = 0;
        memcpy(item, code, 4);
        item[4] = ' ';
        n = 5;
        for (const char* p = d->long_name; *p && n < sizeof item - 1; ++p)
            if (usable((unsigned char)*p))
                item[n++] = *p;
        item[n] = '\0';
        write_item(item);
    }
    return 0;
}
