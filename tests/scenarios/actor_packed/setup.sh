# data/actors.kvo stands in for the folder data/actors: the model, its
# texture and its animation list come from the archive (names in other
# letter cases than the entries).
mkdir -p data
"$KAVOPACK" pack src/actors data/actors.kvo > /dev/null 2>&1
