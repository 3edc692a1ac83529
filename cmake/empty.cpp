// Placeholder so that a folder with no sources yet still forms a library.
namespace lumenveil_empty {
int placeholder = 0;
}
