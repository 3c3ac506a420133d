# data/scripts.kvo stands in for the folder data/scripts, Huffman-compressed.
mkdir -p data
"$KAVOPACK" pack src/scripts data/scripts.kvo --huffman > /dev/null 2>&1
echo 'Game = TGame.Create()' > data/config.lua
