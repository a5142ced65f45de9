// A program outside the project that uses the installed library.
#include <KXCore.h>

#include <cstdio>

int main()
{
    VQTileManager64::InitInstance(false);
    int blocks = 0;
    {
        const long long before = VQTileManager64::Instance()->GetAvailableCount();
        KXImageRGBA32i image(300, 200);
        image.SetColor(10, 10, KXRGBA32i(0xFF00FF00u));
        blocks = static_cast<int>(before - VQTileManager64::Instance()->GetAvailableCount());
        const QImage out = ConvertImage<KXImageRGBA32i, QImage>(image);
        std::printf("consumer: %dx%d, %d blocks, pixel %08x\n", out.width(), out.height(), blocks,
                    static_cast<unsigned>(out.pixel(10, 10)));
    }
    VQTileManager64::ReleaseInstance();
    return 0;
}
