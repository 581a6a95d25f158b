select :a, ':b', "c:" from t where x = :a::int -- :d
